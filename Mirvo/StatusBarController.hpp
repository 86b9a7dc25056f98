#pragma once

#include "Mirvo/ChannelPlugin.hpp"

#include "platform/ui/BinaryMessenger.hpp"

#include <memory>

namespace mirvo {

// The menu-bar item and its menu.
class StatusBarController : public ChannelPlugin {
public:
    explicit StatusBarController(platform::ui::BinaryMessenger& messenger);

    // The one live instance, stored at registration.
    static std::shared_ptr<StatusBarController> shared;
};

} // namespace mirvo
