#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace platform::desktop {

// Stand-in, part of the emulated runtime (see EmulatedClassRegistry).
//
// An instance method of a class known to the EmulatedClassRegistry, taking one object argument. Its implementation
// can be replaced while the program runs, which changes what every later call does.
class EmulatedMethod {
public:
    using Object = std::shared_ptr<void>;
    using Implementation = std::function<void(const Object& receiver, const Object& argument)>;

    EmulatedMethod(std::string selector, Implementation implementation);
    EmulatedMethod(const EmulatedMethod&) = delete;
    EmulatedMethod& operator=(const EmulatedMethod&) = delete;

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
