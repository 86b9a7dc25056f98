#include "platform/ui/EngineViewController.hpp"

namespace platform::ui {

namespace {

class EngineRegistrar : public PluginRegistrar {
public:
    explicit EngineRegistrar(BinaryMessenger& messenger) : messenger_(messenger) {}
    BinaryMessenger& messenger() override { return messenger_; }

private:
    BinaryMessenger& messenger_;
};

} // namespace

EngineViewController::EngineViewController(core::MainQueue& mainQueue) : messenger_(mainQueue) {}

std::shared_ptr<PluginRegistrar> EngineViewController::registrar(const std::string& pluginName) {
    registeredPluginNames_.push_back(pluginName);
    return std::make_shared<EngineRegistrar>(messenger_);
}

} // namespace platform::ui
