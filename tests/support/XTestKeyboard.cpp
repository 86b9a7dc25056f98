#include "tests/support/XTestKeyboard.hpp"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <stdexcept>

namespace testsupport {

XTestKeyboard::XTestKeyboard(const std::string& display) : display_(XOpenDisplay(display.c_str())) {
    if (!display_) {
        throw std::runtime_error("cannot open " + display);
    }
}

XTestKeyboard::~XTestKeyboard() { XCloseDisplay(display_); }

int XTestKeyboard::keycode(unsigned long keysym) const { return XKeysymToKeycode(display_, keysym); }

void XTestKeyboard::key(int keycode, bool press) {
    XTestFakeKeyEvent(display_, static_cast<unsigned>(keycode), press ? True : False, CurrentTime);
    XSync(display_, False);
}

void XTestKeyboard::tap(int keycode) {
    key(keycode, true);
    key(keycode, false);
}

} // namespace testsupport
