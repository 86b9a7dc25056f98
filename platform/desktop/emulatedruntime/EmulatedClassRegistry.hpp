#pragma once

#include "platform/desktop/emulatedruntime/EmulatedClass.hpp"

#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace platform::desktop {

// Stand-in: Linux has no runtime of classes and methods looked up by name, and the analytics library whose
// handler the host's hang guard replaces does not exist here. This emulates the little of such a runtime that
// the guard uses, so that the guard's logic runs and is tested; in the host nothing ever registers a class.
//
// The classes loaded into the process, looked up by name while the program runs, so that the host can
// adjust a library it does not link against. A library's classes appear when it is loaded.
class EmulatedClassRegistry {
public:
    EmulatedClassRegistry() = default;
    EmulatedClassRegistry(const EmulatedClassRegistry&) = delete;
    EmulatedClassRegistry& operator=(const EmulatedClassRegistry&) = delete;

    // Makes the class known under its name, replacing one of the same name.
    void registerClass(std::shared_ptr<EmulatedClass> runtimeClass);
    // Null when no loaded library has a class of that name.
    std::shared_ptr<EmulatedClass> lookUpClass(const std::string& name) const;

private:
    mutable std::mutex mutex_;
    std::map<std::string, std::shared_ptr<EmulatedClass>> classes_;
};

} // namespace platform::desktop
