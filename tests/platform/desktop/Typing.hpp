#pragma once

#include "platform/desktop/KeyEvent.hpp"

#include <string>
#include <utility>

namespace desktoptest {

// A plain event of `type` that carries `text`, as a keystroke typing it does: no key code, flags or repeat.
inline platform::desktop::KeyEvent typing(platform::desktop::EventType type, std::u16string text) {
    return platform::desktop::KeyEvent{
        .type = type, .keyCode = 0, .flags = 0, .isAutoRepeat = false, .unicodeString = std::move(text)};
}

} // namespace desktoptest
