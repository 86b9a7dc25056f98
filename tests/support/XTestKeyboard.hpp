#pragma once

#include <string>

struct _XDisplay;

namespace testsupport {

// A user at an X display's keyboard, pressing keys through XTest on a connection of their own. Each press and
// release has reached the server when the call returns.
class XTestKeyboard {
public:
    // Throws when the display cannot be opened.
    explicit XTestKeyboard(const std::string& display);
    XTestKeyboard(const XTestKeyboard&) = delete;
    XTestKeyboard& operator=(const XTestKeyboard&) = delete;
    ~XTestKeyboard();

    // The keycode of the first key that gives the keysym (an X KeySym, such as XK_space).
    int keycode(unsigned long keysym) const;
    void key(int keycode, bool press);
    void tap(int keycode);

private:
    _XDisplay* display_;
};

} // namespace testsupport
