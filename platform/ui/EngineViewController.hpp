#pragma once

#include "platform/desktop/ViewController.hpp"
#include "platform/ui/BinaryMessenger.hpp"
#include "platform/ui/PluginRegistry.hpp"

#include <memory>
#include <string>
#include <vector>

namespace platform::core {
class MainQueue;
}

namespace platform::ui {

// The UI engine's view controller: the content of the main window, owner of the engine's messenger and the
// registry of the plug-ins that talk through it.
class EngineViewController : public desktop::ViewController, public PluginRegistry {
public:
    explicit EngineViewController(core::MainQueue& mainQueue);

    BinaryMessenger& messenger() { return messenger_; }

    std::shared_ptr<PluginRegistrar> registrar(const std::string& pluginName) override;

    // The plug-in names registrars were asked for, in order.
    const std::vector<std::string>& registeredPluginNames() const { return registeredPluginNames_; }

private:
    BinaryMessenger messenger_;
    std::vector<std::string> registeredPluginNames_;
};

} // namespace platform::ui
