#pragma once

#include "QuorlAudio/models/HubAccess.hpp"
#include "QuorlAudio/models/OfflineSwitch.hpp"
#include "platform/net/Session.hpp"
#include "tests/support/HubEnvironment.hpp"
#include "tests/support/LoopbackHub.hpp"
#include "tests/support/RecordingSleeper.hpp"
#include "tests/support/ScopedEnvironment.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

namespace quorl::testing {

// A loopback hub the toolkit is pointed at, no token, and a scratch folder; the test's own session, offline
// switch (off) and recording sleeper for the hub operations it runs.
class HubTest : public ::testing::Test {
protected:
    static constexpr const char* repo = "ZirazEvavirivi/demo";

    HubTest() { testsupport::useLoopbackHub(environment, hub); }

    testsupport::LoopbackHub hub;
    testsupport::ScopedEnvironment environment;
    testsupport::TemporaryFolder scratch;
    const std::filesystem::path folder = scratch.path();
    // A session of the test's own, so proxy variables of the machine never come between it and the hub.
    std::shared_ptr<platform::net::Session> session = platform::net::Session::make();
    OfflineSwitch offline;
    RecordingSleeper sleeper;

    HubAccess access() { return {.session = session, .offline = offline, .sleeper = sleeper}; }
};

} // namespace quorl::testing
