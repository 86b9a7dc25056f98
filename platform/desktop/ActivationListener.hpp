#pragma once

#include "platform/sys/FileDescriptor.hpp"
#include "platform/sys/WakeupSignal.hpp"

#include <filesystem>
#include <functional>
#include <thread>

namespace platform::desktop {

// The running copy's end of the request to come forward: a Unix-domain socket on which another copy writes
// the line "activate" and reads back "ok" once the handler has run.
class ActivationListener {
public:
    // Binds `socketPath`, replacing a stale file there, and serves requests on a thread of its own, which
    // also runs `onActivate`. Throws platform::core::SystemError when the socket cannot be set up.
    ActivationListener(std::filesystem::path socketPath, std::function<void()> onActivate);
    // Stops serving and removes the socket file.
    ~ActivationListener();
    ActivationListener(const ActivationListener&) = delete;
    ActivationListener& operator=(const ActivationListener&) = delete;

    // The other end: asks the copy listening at `socketPath` to come forward. False when nobody answers.
    static bool requestActivation(const std::filesystem::path& socketPath);

private:
    void serve();
    void answer(sys::FileDescriptor connection);

    std::filesystem::path socketPath_;
    std::function<void()> onActivate_;
    sys::FileDescriptor socket_;
    sys::WakeupSignal wake_;
    std::thread thread_;
};

} // namespace platform::desktop
