#include "platform/audio/MicrophoneAccess.hpp"

#include "platform/core/ThreadPool.hpp"

#include <utility>

namespace platform::audio {

MicrophoneAccess::MicrophoneAccess(AuthorizationStatus status) : status_(status) {}

MicrophoneAccess& MicrophoneAccess::shared() {
    static MicrophoneAccess access;
    return access;
}

AuthorizationStatus MicrophoneAccess::authorizationStatus() const {
    std::lock_guard lock(mutex_);
    return status_;
}

void MicrophoneAccess::setAuthorizationStatus(AuthorizationStatus status) {
    std::lock_guard lock(mutex_);
    status_ = status;
}

void MicrophoneAccess::requestAccess(Completion completion) {
    std::unique_lock lock(mutex_);
    if (status_ == AuthorizationStatus::notDetermined) {
        pending_.push_back(std::move(completion));
        return;
    }
    const bool granted = status_ == AuthorizationStatus::authorized;
    lock.unlock();
    complete(std::move(completion), granted);
}

void MicrophoneAccess::answer(bool granted) {
    std::vector<Completion> waiting;
    {
        std::lock_guard lock(mutex_);
        status_ = granted ? AuthorizationStatus::authorized : AuthorizationStatus::denied;
        waiting.swap(pending_);
    }
    for (auto& completion : waiting) {
        complete(std::move(completion), granted);
    }
}

std::size_t MicrophoneAccess::pendingRequests() const {
    std::lock_guard lock(mutex_);
    return pending_.size();
}

void MicrophoneAccess::complete(Completion completion, bool granted) {
    core::ThreadPool::shared().submit([completion = std::move(completion), granted] { completion(granted); });
}

} // namespace platform::audio
