#include "platform/desktop/X11KeyboardSession.hpp"

#include "platform/core/Concatenated.hpp"
#include "platform/desktop/KeyEventRouter.hpp"
#include "platform/desktop/X11KeyWatcher.hpp"
#include "platform/desktop/X11Typist.hpp"
#include "platform/sys/UnifiedLog.hpp"
#include "platform/text/Utf16.hpp"
#include "platform/text/Utf8.hpp"

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/XTest.h>

namespace platform::desktop {

namespace {

bool offersXInput22(Display* display) {
    int opcode = 0;
    int event = 0;
    int error = 0;
    if (!XQueryExtension(display, "XInputExtension", &opcode, &event, &error)) {
        return false;
    }
    int major = 2;
    int minor = 2;
    return XIQueryVersion(display, &major, &minor) == Success && (major > 2 || (major == 2 && minor >= 2));
}

bool offersXTest(Display* display) {
    int event = 0;
    int error = 0;
    int major = 0;
    int minor = 0;
    return XTestQueryExtension(display, &event, &error, &major, &minor);
}

} // namespace

std::unique_ptr<X11KeyboardSession> X11KeyboardSession::open(const std::string& displayName) {
    Display* typing = XOpenDisplay(displayName.empty() ? nullptr : displayName.c_str());
    Display* watching = typing ? XOpenDisplay(DisplayString(typing)) : nullptr;
    if (!watching || !offersXInput22(watching)) {
        sys::systemLog(core::concatenated({"Keyboard session: cannot use the X display \"", displayName,
                                           watching ? "\": it lacks XInput 2.2" : "\": it cannot be opened"}));
        if (watching) {
            XCloseDisplay(watching);
        }
        if (typing) {
            XCloseDisplay(typing);
        }
        return nullptr;
    }
    const bool xtest = offersXTest(typing);
    return std::make_unique<X11KeyboardSession>(Passkey(), xtest, typing, watching);
}

X11KeyboardSession::X11KeyboardSession(Passkey, bool trusted, _XDisplay* typing, _XDisplay* watching)
    : KeyboardSession(std::make_unique<Accessibility>(false)), typist_(std::make_unique<X11Typist>(typing)),
      watcher_(std::make_unique<X11KeyWatcher>(watching, router())) {
    accessibility().setTrusted(trusted && watcher_->grabsAccepted());
    router()->onTapsChanged([this] { watcher_->updateGrabs(); });
}

X11KeyboardSession::~X11KeyboardSession() { router()->onTapsChanged({}); }

void X11KeyboardSession::post(const KeyEvent& event) {
    if (event.type != EventType::keyDown || event.unicodeString.empty()) {
        return;
    }
    const auto text = text::decodeScalars(text::utf8Of(event.unicodeString));
    std::lock_guard lock(typingMutex_);
    if (!typist_->type(text)) {
        sys::systemLog("Keyboard session: the X display refused some keystrokes");
    }
}

} // namespace platform::desktop
