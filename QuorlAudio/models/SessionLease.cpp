#include "QuorlAudio/models/SessionLease.hpp"

#include "QuorlAudio/models/HFClient.hpp"

namespace quorl {

SessionLease::SessionLease(const std::optional<platform::net::SessionConfiguration>& configuration)
    : session_(configuration ? platform::net::Session::make(*configuration) : HFClient::session()),
      owned_(configuration.has_value()) {}

SessionLease::~SessionLease() {
    if (owned_) {
        session_->finishTasksAndInvalidate();
    }
}

} // namespace quorl
