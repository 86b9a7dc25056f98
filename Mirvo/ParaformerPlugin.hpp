#pragma once

#include "Mirvo/AudioCapturePlugin.hpp"

#include "platform/ui/BinaryMessenger.hpp"

#include <memory>

namespace mirvo {

// Live Mandarin dictation with the toolkit's Paraformer models.
class ParaformerPlugin : public AudioCapturePlugin {
public:
    explicit ParaformerPlugin(platform::ui::BinaryMessenger& messenger);

    // The one live instance, stored at registration.
    static std::shared_ptr<ParaformerPlugin> shared;
};

} // namespace mirvo
