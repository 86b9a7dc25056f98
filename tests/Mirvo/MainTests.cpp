#include "tests/Mirvo/HostProcess.hpp"
#include "tests/support/ScopedEnvironment.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <gtest/gtest.h>

#include <signal.h>

#include <filesystem>

#include <string>

namespace {

using mirvotest::HostProcess;

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(MainTests, ASecondCopyHandsOverToTheFirstAndEndsWithoutRegisteringAnything) {
    testsupport::TemporaryFolder runtime;
    testsupport::ScopedEnvironment environment;
    environment.set("XDG_RUNTIME_DIR", runtime.path().string());

    HostProcess first(MIRVO_EXECUTABLE);
    const auto bridge = runtime.path() / "mirvo" / "bridge.sock";
    ASSERT_TRUE(first.waitForOutput("Mirvo: interface bridge listening on " + bridge.string() + "\n"))
        << first.output();
    EXPECT_TRUE(contains(first.output(), "Mirvo: DictationCuesPlugin registered (windows=1)\n"));

    HostProcess second(MIRVO_EXECUTABLE);
    EXPECT_EQ(second.waitForExit(), 0) << second.output();
    EXPECT_TRUE(contains(second.output(), "Mirvo: another instance is already running (pid " +
                                              std::to_string(first.pid()) + "); handing over\n"))
        << second.output();
    EXPECT_FALSE(contains(second.output(), "registered")) << second.output();
    EXPECT_FALSE(contains(second.output(), "interface bridge")) << second.output();
    EXPECT_TRUE(first.waitForOutput("Mirvo: activated by another instance (windows=1)\n")) << first.output();

    first.signal(SIGTERM);
    EXPECT_EQ(first.waitForExit(), 0) << first.output();
    EXPECT_TRUE(contains(first.output(), "Mirvo: received SIGTERM, shutting down\n")) << first.output();
}

// In a runtime folder shared with other users, a "mirvo" folder that is not this user's own private folder
// could hand the socket to someone else: the bridge is not started in it.
TEST(MainTests, TheBridgeRefusesAMirvoFolderThatIsNotPrivateToTheUser) {
    testsupport::TemporaryFolder runtime;
    testsupport::TemporaryFolder elsewhere;
    testsupport::ScopedEnvironment environment;
    environment.set("XDG_RUNTIME_DIR", runtime.path().string());
    const auto planted = runtime.path() / "mirvo";
    std::filesystem::create_directory_symlink(elsewhere.path(), planted);

    HostProcess host(MIRVO_EXECUTABLE);
    ASSERT_TRUE(host.waitForOutput("Mirvo: interface bridge not started: The runtime folder " + planted.string() +
                                   " is not a private folder of this user: Operation not permitted\n"))
        << host.output();
    EXPECT_FALSE(std::filesystem::exists(elsewhere.path() / "bridge.sock"));
    host.signal(SIGTERM);
    EXPECT_EQ(host.waitForExit(), 0) << host.output();
}

} // namespace
