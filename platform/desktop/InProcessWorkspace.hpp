#pragma once

#include "platform/desktop/Workspace.hpp"

#include <mutex>
#include <vector>

namespace platform::desktop {

// A workspace kept in memory: tests list the copies they want and read back which were activated.
class InProcessWorkspace final : public Workspace {
public:
    InProcessWorkspace();

    // Lists a copy with the given process id after those already listed.
    void addRunningApplication(const std::string& bundleIdentifier, pid_t processIdentifier);

    // Lists this process, after the others, when no copy of `bundleIdentifier` is listed yet. Activating it
    // runs `onActivate` on the calling thread.
    void registerLaunch(const std::string& bundleIdentifier, ActivationHandler onActivate) override;
    std::vector<std::shared_ptr<RunningApplication>> runningApplications(const std::string& bundleIdentifier) override;

    // Process ids of the listed copies that were activated, in order.
    std::vector<pid_t> activations() const;

private:
    struct Listing {
        std::string bundleIdentifier;
        std::shared_ptr<RunningApplication> application;
    };
    struct Record;

    void list(const std::string& bundleIdentifier, pid_t processIdentifier, ActivationHandler onActivate);

    std::shared_ptr<Record> record_;
    mutable std::mutex mutex_;
    std::vector<Listing> listings_;
};

} // namespace platform::desktop
