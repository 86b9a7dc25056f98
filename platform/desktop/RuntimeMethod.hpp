#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace platform::desktop {

// An instance method of a class known to the ClassRegistry, taking one object argument. Its implementation
// can be replaced while the program runs, which changes what every later call does.
class RuntimeMethod {
public:
    using Object = std::shared_ptr<void>;
    using Implementation = std::function<void(const Object& receiver, const Object& argument)>;

    RuntimeMethod(std::string selector, Implementation implementation);
    RuntimeMethod(const RuntimeMethod&) = delete;
    RuntimeMethod& operator=(const RuntimeMethod&) = delete;

    const std::string& selector() const { return selector_; }

    // Returns the implementation it replaces.
    Implementation setImplementation(Implementation implementation);
    // Runs the current implementation.
    void invoke(const Object& receiver, const Object& argument) const;

private:
    std::string selector_;
    mutable std::mutex mutex_;
    Implementation implementation_;
};

} // namespace platform::desktop
