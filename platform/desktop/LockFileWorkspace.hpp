#pragma once

#include "platform/desktop/ActivationListener.hpp"
#include "platform/desktop/Workspace.hpp"
#include "platform/sys/FileDescriptor.hpp"

#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace platform::desktop {

// The running copies of an application, told apart by a lock file in the user's runtime folder. The copy
// that holds "<bundle identifier>.lock" (an exclusive flock, released by the system when the process
// ends, so a crashed copy never blocks the next) is the running one; the file holds its process id. It
// listens on "<bundle identifier>.sock" beside the lock for requests to come forward. Claiming the lock and
// reading it are serialised by a short lock on "<bundle identifier>.launch", so a reader never sees a
// holder that has not yet written its id or opened its socket.
class LockFileWorkspace final : public Workspace {
public:
    explicit LockFileWorkspace(std::filesystem::path folder);

    // Throws platform::core::SystemError when the files cannot be used or the identifier is not a plain
    // file name.
    void registerLaunch(const std::string& bundleIdentifier, ActivationHandler onActivate) override;
    // Lists the holder of the lock; nothing when nobody holds it or it cannot be read.
    std::vector<std::shared_ptr<RunningApplication>> runningApplications(const std::string& bundleIdentifier) override;

private:
    std::filesystem::path pathFor(const std::string& bundleIdentifier, const char* extension) const;
    sys::FileDescriptor holdLaunchLock(const std::string& bundleIdentifier) const;
    std::optional<pid_t> lockHolder(const std::string& bundleIdentifier) const;

    std::filesystem::path folder_;
    std::mutex mutex_;
    std::string registeredIdentifier_;
    ActivationHandler onActivate_;
    // Declared before the listener so that the socket goes away while the lock is still held.
    sys::FileDescriptor instanceLock_;
    std::unique_ptr<ActivationListener> listener_;
};

} // namespace platform::desktop
