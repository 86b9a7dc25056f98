#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct _XDisplay;

namespace testsupport {

// A small X client that maps a window, takes the input focus and records the key events it receives: the
// text they type (the first keysym of the key in the keymap as it is when the event is read, Return as a line
// feed) and the
// keycodes of every press and release.
class FocusedWindow {
public:
    // Throws when the display cannot be opened.
    explicit FocusedWindow(const std::string& display);
    FocusedWindow(const FocusedWindow&) = delete;
    FocusedWindow& operator=(const FocusedWindow&) = delete;
    ~FocusedWindow();

    struct Key {
        int keycode;
        bool press;
        bool operator==(const Key&) const = default;
    };

    // Waits (up to a generous bound) until the typed text holds `length` code points; the text so far.
    std::u32string waitForText(std::size_t length) const;
    std::vector<Key> keys() const;
    // Waits until the window has received the key event (press or release), so that everything sent before it
    // has arrived; false after a generous bound.
    bool waitForKey(Key key) const;

private:
    void run();
    unsigned long currentKeysym(unsigned keycode) const;

    _XDisplay* display_;
    unsigned long window_ = 0;
    int wake_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::u32string text_;
    std::vector<Key> keys_;
    bool stopping_ = false;
    std::thread thread_;
};

} // namespace testsupport
