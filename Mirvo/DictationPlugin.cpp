#include "Mirvo/DictationPlugin.hpp"

namespace mirvo {

std::shared_ptr<DictationPlugin> DictationPlugin::shared;

DictationPlugin::DictationPlugin(platform::ui::BinaryMessenger& messenger)
    : AudioCapturePlugin(messenger, "mirvo/dictation", "mirvo/dictation_events") {}

} // namespace mirvo
