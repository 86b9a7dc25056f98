#include "platform/desktop/X11Typist.hpp"

#include "platform/desktop/X11Errors.hpp"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <thread>

namespace platform::desktop {

namespace {

// The keysym that types the character: Latin-1 characters have their own, the rest the Unicode keysym
// range; none for a control character without a key.
unsigned long keysymOf(char32_t character) {
    if (character == U'\n') {
        return XK_Return;
    }
    if (character == U'\t') {
        return XK_Tab;
    }
    if ((character >= 0x20 && character < 0x7F) || (character >= 0xA0 && character <= 0xFF)) {
        return character;
    }
    if (character >= 0x100 && character <= 0x10FFFF && (character < 0xD800 || character > 0xDFFF)) {
        return 0x01000000 | character;
    }
    return NoSymbol;
}

// Clients look a keycode up when they read its event, in the keymap as it is then: a keycode pressed for one
// character is not remapped for another before they had this long to read the press.
constexpr auto settlingTime = std::chrono::milliseconds(50);

} // namespace

X11Typist::X11Typist(_XDisplay* display) : display_(display) {
    XDisplayKeycodes(display_, &minKeycode_, &maxKeycode_);
    nextSpare_ = minKeycode_;
}

X11Typist::~X11Typist() {
    restoreSpareKeycodes();
    XCloseDisplay(display_);
}

bool X11Typist::type(std::u32string_view text) {
    const X11ErrorTrap trap;
    auto mapping = currentMapping();
    if (mapping.empty()) {
        return false;
    }
    forgetOverwritten(mapping);
    for (const char32_t character : text) {
        const KeySym keysym = keysymOf(character);
        if (keysym == NoSymbol) {
            continue;
        }
        const int keycode = keycodeFor(keysym, mapping);
        if (keycode < 0) {
            return false;
        }
        pressedSinceSettling_.insert(keycode);
        XTestFakeKeyEvent(display_, static_cast<unsigned>(keycode), True, CurrentTime);
        XTestFakeKeyEvent(display_, static_cast<unsigned>(keycode), False, CurrentTime);
    }
    return trap.sync(display_) == 0;
}

void X11Typist::restoreSpareKeycodes() {
    if (assigned_.empty()) {
        return;
    }
    const X11ErrorTrap trap;
    forgetOverwritten(currentMapping());
    for (const auto& [keycode, keysym] : assigned_) {
        KeySym nothing = NoSymbol;
        XChangeKeyboardMapping(display_, keycode, 1, &nothing, 1);
    }
    assigned_.clear();
    trap.sync(display_);
}

int X11Typist::keycodeFor(KeySym keysym, std::vector<KeySym>& mapping) {
    const auto mapped = std::ranges::find(assigned_, keysym, &std::pair<int, KeySym>::second);
    if (mapped != assigned_.end()) {
        // Kept in the order of last use, so the one evicted is the one used longest ago.
        std::rotate(mapped, mapped + 1, assigned_.end());
        return assigned_.back().first;
    }
    int keycode = -1;
    const int count = maxKeycode_ - minKeycode_ + 1;
    for (int step = 0; step < count && keycode < 0; ++step) {
        const int candidate = minKeycode_ + (nextSpare_ - minKeycode_ + step) % count;
        if (isEmpty(candidate, mapping)) {
            keycode = candidate;
        }
    }
    if (keycode < 0) {
        if (assigned_.empty()) {
            return -1;
        }
        // Every spare keycode types something of ours: the one used longest ago is the safest to change.
        keycode = assigned_.front().first;
        assigned_.erase(assigned_.begin());
        if (pressedSinceSettling_.contains(keycode)) {
            settle();
        }
    }
    // Both levels, so that Shift or Caps Lock held by the user changes nothing.
    std::array<KeySym, 2> symbols{keysym, keysym};
    XChangeKeyboardMapping(display_, keycode, static_cast<int>(symbols.size()), symbols.data(), 1);
    const auto first = mapping.begin() + (keycode - minKeycode_) * keysymsPerKeycode_;
    std::fill(first, first + keysymsPerKeycode_, NoSymbol);
    *first = keysym;
    assigned_.emplace_back(keycode, keysym);
    nextSpare_ = keycode + 1;
    return keycode;
}

void X11Typist::settle() {
    XSync(display_, False);
    std::this_thread::sleep_for(settlingTime);
    pressedSinceSettling_.clear();
}

void X11Typist::forgetOverwritten(const std::vector<KeySym>& mapping) {
    if (mapping.empty()) {
        return;
    }
    std::erase_if(assigned_, [&](const auto& assignment) {
        const auto [keycode, keysym] = assignment;
        return mapping[static_cast<std::size_t>((keycode - minKeycode_) * keysymsPerKeycode_)] != keysym;
    });
}

std::vector<X11Typist::KeySym> X11Typist::currentMapping() {
    int perKeycode = 0;
    KeySym* symbols =
        XGetKeyboardMapping(display_, static_cast<KeyCode>(minKeycode_), maxKeycode_ - minKeycode_ + 1, &perKeycode);
    keysymsPerKeycode_ = perKeycode;
    std::vector<KeySym> mapping;
    if (symbols) {
        mapping.assign(symbols, symbols + (maxKeycode_ - minKeycode_ + 1) * perKeycode);
        XFree(symbols);
    }
    return mapping;
}

bool X11Typist::isEmpty(int keycode, const std::vector<KeySym>& mapping) const {
    if (std::ranges::any_of(assigned_, [&](const auto& assignment) { return assignment.first == keycode; })) {
        return false;
    }
    const auto first = mapping.begin() + (keycode - minKeycode_) * keysymsPerKeycode_;
    return std::all_of(first, first + keysymsPerKeycode_, [](KeySym symbol) { return symbol == NoSymbol; });
}

} // namespace platform::desktop
