#include "tests/support/FocusedWindow.hpp"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <xkbcommon/xkbcommon.h>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>

namespace testsupport {

namespace {

constexpr auto patience = std::chrono::seconds(30);

} // namespace

FocusedWindow::FocusedWindow(const std::string& display)
    : display_(XOpenDisplay(display.c_str())), wake_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (!display_) {
        ::close(wake_);
        throw std::runtime_error("cannot open " + display);
    }
    window_ = XCreateSimpleWindow(display_, DefaultRootWindow(display_), 0, 0, 200, 100, 0, 0, 0);
    XSelectInput(display_, window_, KeyPressMask | KeyReleaseMask | StructureNotifyMask);
    XMapWindow(display_, window_);
    for (XEvent event; XWindowEvent(display_, window_, StructureNotifyMask, &event), event.type != MapNotify;) {}
    XSetInputFocus(display_, window_, RevertToParent, CurrentTime);
    XSync(display_, False);
    thread_ = std::thread([this] { run(); });
}

FocusedWindow::~FocusedWindow() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(wake_, &one, sizeof one);
    thread_.join();
    XCloseDisplay(display_);
    ::close(wake_);
}

std::u32string FocusedWindow::waitForText(std::size_t length) const {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, patience, [&] { return text_.size() >= length; });
    return text_;
}

std::vector<FocusedWindow::Key> FocusedWindow::keys() const {
    std::lock_guard lock(mutex_);
    return keys_;
}

bool FocusedWindow::waitForKey(Key key) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, patience, [&] { return std::ranges::find(keys_, key) != keys_.end(); });
}

// Asked of the server for each event rather than read from Xlib's cache, whose updates lag behind changes
// made in quick succession.
unsigned long FocusedWindow::currentKeysym(unsigned keycode) const {
    int perKeycode = 0;
    KeySym* symbols = XGetKeyboardMapping(display_, static_cast<KeyCode>(keycode), 1, &perKeycode);
    const KeySym keysym = symbols && perKeycode > 0 ? symbols[0] : NoSymbol;
    XFree(symbols);
    return keysym;
}

void FocusedWindow::run() {
    for (;;) {
        while (XPending(display_) > 0) {
            XEvent event;
            XNextEvent(display_, &event);
            if (event.type != KeyPress && event.type != KeyRelease) {
                continue;
            }
            const KeySym keysym = currentKeysym(event.xkey.keycode);
            const char32_t character =
                keysym == XK_Return ? U'\n' : xkb_keysym_to_utf32(static_cast<xkb_keysym_t>(keysym));
            std::lock_guard lock(mutex_);
            keys_.push_back({.keycode = static_cast<int>(event.xkey.keycode), .press = event.type == KeyPress});
            if (event.type == KeyPress && character != 0) {
                text_.push_back(character);
            }
            changed_.notify_all();
        }
        {
            std::lock_guard lock(mutex_);
            if (stopping_) {
                return;
            }
        }
        pollfd ready[] = {{.fd = ConnectionNumber(display_), .events = POLLIN, .revents = 0},
                          {.fd = wake_, .events = POLLIN, .revents = 0}};
        ::poll(ready, 2, -1);
    }
}

} // namespace testsupport
