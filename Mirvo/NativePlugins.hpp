#pragma once

#include "platform/ui/BinaryMessenger.hpp"

#include <array>
#include <string_view>

namespace mirvo {

// One of the host's own plug-ins: its name and the operation that creates it on the engine's messenger
// and stores it as the class's one live instance, releasing any earlier one.
struct NativePlugin {
    std::string_view name;
    void (*registerWith)(platform::ui::BinaryMessenger& messenger);
};

// The host's plug-ins, in the order they are registered.
extern const std::array<NativePlugin, 8> nativePlugins;

// Releases the live instances, last registered first. The process calls it before the messenger they
// talk through goes away.
void releaseNativePlugins();

} // namespace mirvo
