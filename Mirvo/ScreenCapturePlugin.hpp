#pragma once

#include "Mirvo/ChannelPlugin.hpp"

#include "platform/ui/BinaryMessenger.hpp"

#include <memory>

namespace mirvo {

// Captures the screen for the interface layer.
class ScreenCapturePlugin : public ChannelPlugin {
public:
    explicit ScreenCapturePlugin(platform::ui::BinaryMessenger& messenger);

    // The one live instance, stored at registration.
    static std::shared_ptr<ScreenCapturePlugin> shared;
};

} // namespace mirvo
