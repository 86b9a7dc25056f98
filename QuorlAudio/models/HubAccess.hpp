#pragma once

#include "QuorlAudio/models/OfflineSwitch.hpp"
#include "platform/core/Sleeper.hpp"
#include "platform/net/Session.hpp"

#include <memory>

namespace quorl {

// What one hub operation reaches the hub through: the session it sends on (a transfer that needs a session
// of its own copies this one's configuration), the switch that keeps it off the network and the sleeper
// that waits out its back-offs. The switch and the sleeper are borrowed and outlive the operation.
struct HubAccess {
    std::shared_ptr<platform::net::Session> session;
    const OfflineSwitch& offline;
    platform::core::Sleeper& sleeper;
};

} // namespace quorl
