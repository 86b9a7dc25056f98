#pragma once

#include "platform/desktop/RunningApplication.hpp"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform::desktop {

// Knows the applications that run for this user, by bundle identifier.
class Workspace {
public:
    using ActivationHandler = std::function<void()>;

    virtual ~Workspace() = default;

    // Records this process as the running copy of `bundleIdentifier`, unless another copy already is.
    // When recorded, `onActivate` runs (on a thread of the workspace's choosing) each time a copy asks
    // this one to come forward. Call once per process.
    virtual void registerLaunch(const std::string& bundleIdentifier, ActivationHandler onActivate) = 0;

    // The copies of the application running now; this process among them when it is the recorded copy.
    virtual std::vector<std::shared_ptr<RunningApplication>>
    runningApplications(const std::string& bundleIdentifier) = 0;
};

} // namespace platform::desktop
