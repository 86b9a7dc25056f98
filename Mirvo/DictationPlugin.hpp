#pragma once

#include "Mirvo/AudioCapturePlugin.hpp"

#include "platform/ui/BinaryMessenger.hpp"

#include <memory>

namespace mirvo {

// Dictation through the operating system's speech recogniser, with an audio-only capture mode.
class DictationPlugin : public AudioCapturePlugin {
public:
    explicit DictationPlugin(platform::ui::BinaryMessenger& messenger);

    // The one live instance, stored at registration.
    static std::shared_ptr<DictationPlugin> shared;
};

} // namespace mirvo
