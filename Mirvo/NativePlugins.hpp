#pragma once

#include "Mirvo/PluginRegistry.hpp"

#include <array>

namespace mirvo {

// The host's plug-ins, in the order they are registered.
extern const std::array<NativePlugin, 8> nativePlugins;

} // namespace mirvo
