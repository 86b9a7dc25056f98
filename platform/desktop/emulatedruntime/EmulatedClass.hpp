#pragma once

#include "platform/desktop/emulatedruntime/EmulatedMethod.hpp"

#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace platform::desktop {

// Stand-in, part of the emulated runtime (see EmulatedClassRegistry).
//
// A class that a library makes known to the EmulatedClassRegistry when it is loaded, with its instance methods
// by selector.
class EmulatedClass {
public:
    explicit EmulatedClass(std::string name);
    EmulatedClass(const EmulatedClass&) = delete;
    EmulatedClass& operator=(const EmulatedClass&) = delete;

    const std::string& name() const { return name_; }

    // Adds the method, or replaces the one of that selector.
    std::shared_ptr<EmulatedMethod> addMethod(const std::string& selector,
                                              EmulatedMethod::Implementation implementation);
    // Null when the class has no method of that selector.
    std::shared_ptr<EmulatedMethod> instanceMethod(const std::string& selector) const;

private:
    std::string name_;
    mutable std::mutex mutex_;
    std::map<std::string, std::shared_ptr<EmulatedMethod>> methods_;
};

} // namespace platform::desktop
