#pragma once

#include "platform/desktop/RuntimeMethod.hpp"

#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace platform::desktop {

// A class that a library makes known to the ClassRegistry when it is loaded, with its instance methods
// by selector.
class RuntimeClass {
public:
    explicit RuntimeClass(std::string name);
    RuntimeClass(const RuntimeClass&) = delete;
    RuntimeClass& operator=(const RuntimeClass&) = delete;

    const std::string& name() const { return name_; }

    // Adds the method, or replaces the one of that selector.
    std::shared_ptr<RuntimeMethod> addMethod(const std::string& selector, RuntimeMethod::Implementation implementation);
    // Null when the class has no method of that selector.
    std::shared_ptr<RuntimeMethod> instanceMethod(const std::string& selector) const;

private:
    std::string name_;
    mutable std::mutex mutex_;
    std::map<std::string, std::shared_ptr<RuntimeMethod>> methods_;
};

} // namespace platform::desktop
