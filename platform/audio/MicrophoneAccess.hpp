#pragma once

#include <cstddef>
#include <functional>
#include <mutex>
#include <vector>

namespace platform::audio {

enum class AuthorizationStatus { notDetermined, restricted, denied, authorized };

// Whether this process may capture from the microphone. Linux asks the user nothing, so the host's access is
// authorised; tests set other statuses and give the user's answer themselves.
class MicrophoneAccess {
public:
    // Tells whether access is granted; called on a thread of the shared pool, never the caller's.
    using Completion = std::function<void(bool granted)>;

    explicit MicrophoneAccess(AuthorizationStatus status = AuthorizationStatus::authorized);
    MicrophoneAccess(const MicrophoneAccess&) = delete;
    MicrophoneAccess& operator=(const MicrophoneAccess&) = delete;

    // The host's.
    static MicrophoneAccess& shared();

    AuthorizationStatus authorizationStatus() const;
    void setAuthorizationStatus(AuthorizationStatus status);

    // Answers at once when the status is determined (authorised grants; denied and restricted refuse);
    // otherwise the request waits for the user's answer.
    void requestAccess(Completion completion);
    // The user's answer to the waiting requests: the status becomes authorised or denied and each waiting
    // request is answered.
    void answer(bool granted);
    // Requests waiting for the user.
    std::size_t pendingRequests() const;

private:
    static void complete(Completion completion, bool granted);

    mutable std::mutex mutex_;
    AuthorizationStatus status_;
    std::vector<Completion> pending_;
};

} // namespace platform::audio
