#include "Mirvo/ScreenCapturePlugin.hpp"

namespace mirvo {

std::shared_ptr<ScreenCapturePlugin> ScreenCapturePlugin::shared;

ScreenCapturePlugin::ScreenCapturePlugin(platform::ui::BinaryMessenger& messenger)
    : ChannelPlugin(messenger, "mirvo/screen_capture") {}

} // namespace mirvo
