#pragma once

#include "platform/net/Session.hpp"
#include "platform/net/SessionConfiguration.hpp"

#include <memory>
#include <optional>

namespace quorl {

// The session one hub operation sends on: the hub's `shared` session, or, when the caller gives a
// configuration, a session of its own that is finished and invalidated when the operation ends, on
// success and on failure alike.
class SessionLease {
public:
    SessionLease(const std::optional<platform::net::SessionConfiguration>& configuration,
                 std::shared_ptr<platform::net::Session> shared);
    ~SessionLease();
    SessionLease(const SessionLease&) = delete;
    SessionLease& operator=(const SessionLease&) = delete;

    const std::shared_ptr<platform::net::Session>& session() const { return session_; }

private:
    std::shared_ptr<platform::net::Session> session_;
    bool owned_;
};

} // namespace quorl
