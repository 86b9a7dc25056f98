#pragma once

#include "Mirvo/ChannelPlugin.hpp"

#include "platform/ui/BinaryMessenger.hpp"

#include <memory>

namespace mirvo {

// Types recognised text into the application that has the focus.
class TextInserter : public ChannelPlugin {
public:
    explicit TextInserter(platform::ui::BinaryMessenger& messenger);

    // The one live instance, stored at registration.
    static std::shared_ptr<TextInserter> shared;
};

} // namespace mirvo
