#include "Mirvo/DictationCuesPlugin.hpp"

namespace mirvo {

std::shared_ptr<DictationCuesPlugin> DictationCuesPlugin::shared;

DictationCuesPlugin::DictationCuesPlugin(platform::ui::BinaryMessenger& messenger)
    : ChannelPlugin(messenger, "mirvo/dictation_cues") {}

} // namespace mirvo
