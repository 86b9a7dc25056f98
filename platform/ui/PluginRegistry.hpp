#pragma once

#include "platform/ui/BinaryMessenger.hpp"

#include <memory>
#include <string>

namespace platform::ui {

// What a plug-in is given at registration: the messenger its channels use.
class PluginRegistrar {
public:
    virtual ~PluginRegistrar() = default;
    virtual BinaryMessenger& messenger() = 0;
};

// Hands out one registrar per plug-in name.
class PluginRegistry {
public:
    virtual ~PluginRegistry() = default;
    virtual std::shared_ptr<PluginRegistrar> registrar(const std::string& pluginName) = 0;
};

} // namespace platform::ui
