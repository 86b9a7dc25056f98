#pragma once

#include "platform/ui/PluginRegistry.hpp"

namespace mirvo {

// Registers the interface layer's own plug-ins on the engine's registry, in the engine's order.
void RegisterGeneratedPlugins(platform::ui::PluginRegistry& registry);

} // namespace mirvo
