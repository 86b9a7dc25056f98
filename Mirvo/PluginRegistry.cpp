#include "Mirvo/PluginRegistry.hpp"

#include <algorithm>

namespace mirvo {

PluginRegistry::~PluginRegistry() { releaseAll(); }

void PluginRegistry::add(const NativePlugin& plugin, platform::ui::BinaryMessenger& messenger) {
    release(plugin.name);
    plugins_.emplace_back(std::string(plugin.name), plugin.make(messenger, *this));
}

void PluginRegistry::releaseAll() {
    while (!plugins_.empty()) {
        plugins_.pop_back();
    }
}

void PluginRegistry::release(std::string_view name) {
    std::erase_if(plugins_, [name](const auto& entry) { return entry.first == name; });
}

} // namespace mirvo
