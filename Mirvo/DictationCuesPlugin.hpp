#pragma once

#include "Mirvo/ChannelPlugin.hpp"

#include "platform/ui/BinaryMessenger.hpp"

#include <memory>

namespace mirvo {

// Plays the short sounds that mark the start and the end of a dictation.
class DictationCuesPlugin : public ChannelPlugin {
public:
    explicit DictationCuesPlugin(platform::ui::BinaryMessenger& messenger);

    // The one live instance, stored at registration.
    static std::shared_ptr<DictationCuesPlugin> shared;
};

} // namespace mirvo
