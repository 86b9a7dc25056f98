#pragma once

#include "Mirvo/AudioCapturePlugin.hpp"

#include "platform/ui/BinaryMessenger.hpp"

#include <memory>

namespace mirvo {

// Live dictation with the toolkit's multilingual transducer models.
class ParakeetPlugin : public AudioCapturePlugin {
public:
    explicit ParakeetPlugin(platform::ui::BinaryMessenger& messenger);

    // The one live instance, stored at registration.
    static std::shared_ptr<ParakeetPlugin> shared;
};

} // namespace mirvo
