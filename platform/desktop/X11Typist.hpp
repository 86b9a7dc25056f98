#pragma once

#include <cstdint>
#include <set>
#include <string_view>
#include <utility>
#include <vector>

struct _XDisplay;

namespace platform::desktop {

// Types Unicode text into the window that has the input focus on an X display, through XTest. Every character
// goes through a spare keycode (one with no symbols in the current keymap) remapped to the character's keysym,
// so the text arrives the same whatever the layout, with or without Shift or Caps Lock, and the keys the hotkey
// watches are never pressed. Spare keycodes are taken in turn, so a client that is a few characters behind
// still finds each keycode meaning what it meant when it was pressed; a character already mapped reuses its
// keycode; and before a keycode pressed recently is remapped, the typist pauses to let clients catch up. The keycodes are given back their empty mapping when the typist is destroyed.
// Not thread-safe: its owner serialises the calls.
class X11Typist {
public:
    // Takes ownership of the connection, which only this typist uses.
    explicit X11Typist(_XDisplay* display);
    X11Typist(const X11Typist&) = delete;
    X11Typist& operator=(const X11Typist&) = delete;
    ~X11Typist();

    // Presses and releases a key for each character of the text; whether the server took every request. A line
    // feed is typed as Return, a tab as Tab; control characters that have no key are skipped.
    bool type(std::u32string_view text);
    // Gives every keycode this typist remapped its empty mapping back, unless someone else changed it since.
    void restoreSpareKeycodes();

private:
    using KeySym = unsigned long;

    // The keycode that types `keysym` now, remapping a spare one when none does; none when there is no spare.
    int keycodeFor(KeySym keysym, std::vector<KeySym>& mapping);
    // Drops the assignments that someone else (a layout change) overwrote.
    void forgetOverwritten(const std::vector<KeySym>& mapping);
    std::vector<KeySym> currentMapping();
    bool isEmpty(int keycode, const std::vector<KeySym>& mapping) const;
    // Waits until the clients had time to read every press sent so far.
    void settle();

    _XDisplay* display_;
    int minKeycode_ = 8;
    int maxKeycode_ = 255;
    int keysymsPerKeycode_ = 0;
    // The keycodes remapped by this typist and what they type, in the order they were taken.
    std::vector<std::pair<int, KeySym>> assigned_;
    std::set<int> pressedSinceSettling_;
    // Where the search for the next spare keycode starts.
    int nextSpare_ = 0;
};

} // namespace platform::desktop
