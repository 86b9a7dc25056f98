#include "Mirvo/ParakeetPlugin.hpp"

namespace mirvo {

std::shared_ptr<ParakeetPlugin> ParakeetPlugin::shared;

ParakeetPlugin::ParakeetPlugin(platform::ui::BinaryMessenger& messenger)
    : AudioCapturePlugin(messenger, "mirvo/parakeet", "mirvo/parakeet_events") {}

} // namespace mirvo
