#pragma once

#include "Mirvo/ChannelPlugin.hpp"

#include "platform/desktop/Application.hpp"
#include "platform/ui/BinaryMessenger.hpp"

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace mirvo {

class PluginRegistry;

// One of the host's own plug-ins: its name and how it is made on the engine's messenger. `make` may keep the
// registry to reach plug-ins registered later, when it needs them.
struct NativePlugin {
    std::string_view name;
    std::shared_ptr<ChannelPlugin> (*make)(platform::ui::BinaryMessenger& messenger, PluginRegistry& registry);
};

// Owns the host's live plug-ins, one per name. The process creates it before the plug-ins register and
// destroys it before the messenger they talk through goes away; destruction releases them last registered
// first. Used on the main queue only.
class PluginRegistry {
public:
    // The plug-ins that show windows reach the host's application through the registry; without one they
    // show none.
    explicit PluginRegistry(platform::desktop::Application* application = nullptr) : application_(application) {}
    ~PluginRegistry();
    PluginRegistry(const PluginRegistry&) = delete;
    PluginRegistry& operator=(const PluginRegistry&) = delete;

    // Makes the plug-in on `messenger`, releasing an earlier one of the same name first.
    void add(const NativePlugin& plugin, platform::ui::BinaryMessenger& messenger);

    // The live plug-in of type `Plugin`, or null.
    template <class Plugin> std::shared_ptr<Plugin> find() const {
        for (const auto& [name, plugin] : plugins_) {
            if (auto found = std::dynamic_pointer_cast<Plugin>(plugin)) {
                return found;
            }
        }
        return nullptr;
    }

    platform::desktop::Application* application() const { return application_; }

    // Releases every plug-in, last registered first.
    void releaseAll();

private:
    void release(std::string_view name);

    platform::desktop::Application* application_;
    std::vector<std::pair<std::string, std::shared_ptr<ChannelPlugin>>> plugins_;
};

} // namespace mirvo
