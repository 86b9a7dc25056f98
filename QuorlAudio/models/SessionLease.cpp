#include "QuorlAudio/models/SessionLease.hpp"

#include <utility>

namespace quorl {

SessionLease::SessionLease(const std::optional<platform::net::SessionConfiguration>& configuration,
                           std::shared_ptr<platform::net::Session> shared)
    : session_(configuration ? platform::net::Session::make(*configuration) : std::move(shared)),
      owned_(configuration.has_value()) {}

SessionLease::~SessionLease() {
    if (owned_) {
        session_->finishTasksAndInvalidate();
    }
}

} // namespace quorl
