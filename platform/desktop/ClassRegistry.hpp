#pragma once

#include "platform/desktop/RuntimeClass.hpp"

#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace platform::desktop {

// The classes loaded into the process, looked up by name while the program runs, so that the host can
// adjust a library it does not link against. A library's classes appear when it is loaded.
class ClassRegistry {
public:
    ClassRegistry() = default;
    ClassRegistry(const ClassRegistry&) = delete;
    ClassRegistry& operator=(const ClassRegistry&) = delete;

    // Makes the class known under its name, replacing one of the same name.
    void registerClass(std::shared_ptr<RuntimeClass> runtimeClass);
    // Null when no loaded library has a class of that name.
    std::shared_ptr<RuntimeClass> lookUpClass(const std::string& name) const;

private:
    mutable std::mutex mutex_;
    std::map<std::string, std::shared_ptr<RuntimeClass>> classes_;
};

} // namespace platform::desktop
