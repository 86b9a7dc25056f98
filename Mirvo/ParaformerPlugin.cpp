#include "Mirvo/ParaformerPlugin.hpp"

namespace mirvo {

std::shared_ptr<ParaformerPlugin> ParaformerPlugin::shared;

ParaformerPlugin::ParaformerPlugin(platform::ui::BinaryMessenger& messenger)
    : AudioCapturePlugin(messenger, "mirvo/paraformer", "mirvo/paraformer_events") {}

} // namespace mirvo
