#pragma once

#include "Mirvo/ChannelPlugin.hpp"

#include "platform/ui/BinaryMessenger.hpp"

#include <memory>

namespace mirvo {

// The system-wide dictation hotkey: watches key events and tells the interface layer about the gesture.
class GlobalHotkeyTap : public ChannelPlugin {
public:
    explicit GlobalHotkeyTap(platform::ui::BinaryMessenger& messenger);

    // The one live instance, stored at registration.
    static std::shared_ptr<GlobalHotkeyTap> shared;
};

} // namespace mirvo
