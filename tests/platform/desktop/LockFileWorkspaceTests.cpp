#include "platform/desktop/LockFileWorkspace.hpp"
#include "tests/support/ErrorText.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <future>
#include <sstream>
#include <string>

namespace {

using namespace std::chrono_literals;
using platform::desktop::LockFileWorkspace;

const std::string bundleIdentifier = "com.example.Single";

std::string contentsOf(const std::filesystem::path& path) {
    std::ifstream file(path);
    std::ostringstream contents;
    contents << file.rdbuf();
    return contents.str();
}

class LockFileWorkspaceTest : public ::testing::Test {
protected:
    std::filesystem::path lockPath() const { return folder.path() / (bundleIdentifier + ".lock"); }

    testsupport::TemporaryFolder folder;
};

// Locks taken through separate opens conflict even within one process, so a second workspace object
// plays the second copy here.
TEST_F(LockFileWorkspaceTest, TheFirstCopyHoldsTheLockAndALaterCopyFindsAndActivatesIt) {
    std::promise<void> activated;
    LockFileWorkspace first(folder.path());
    first.registerLaunch(bundleIdentifier, [&activated] { activated.set_value(); });
    const auto own = first.runningApplications(bundleIdentifier);
    ASSERT_EQ(own.size(), 1u);
    EXPECT_EQ(own[0]->processIdentifier(), getpid());
    EXPECT_EQ(contentsOf(lockPath()), std::to_string(getpid()) + "\n");

    LockFileWorkspace second(folder.path());
    second.registerLaunch(bundleIdentifier, [] { ADD_FAILURE() << "the second copy must not be recorded"; });
    const auto found = second.runningApplications(bundleIdentifier);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0]->processIdentifier(), getpid());
    EXPECT_TRUE(found[0]->activate());
    EXPECT_EQ(activated.get_future().wait_for(10s), std::future_status::ready);
    EXPECT_TRUE(second.runningApplications("com.example.Other").empty());
}

TEST_F(LockFileWorkspaceTest, ALockLeftByACopyThatEndedBlocksNobody) {
    {
        LockFileWorkspace ended(folder.path());
        ended.registerLaunch(bundleIdentifier, [] {});
    }
    std::ofstream(lockPath()) << "999999\n";

    LockFileWorkspace next(folder.path());
    EXPECT_TRUE(next.runningApplications(bundleIdentifier).empty());
    next.registerLaunch(bundleIdentifier, [] {});
    ASSERT_EQ(next.runningApplications(bundleIdentifier).size(), 1u);
    EXPECT_EQ(contentsOf(lockPath()), std::to_string(getpid()) + "\n");
}

TEST_F(LockFileWorkspaceTest, AHolderThatDoesNotAnswerIsReportedUnreachable) {
    const int lock = ::open(lockPath().c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(lock, 0);
    ASSERT_EQ(::flock(lock, LOCK_EX), 0);
    ASSERT_EQ(::write(lock, "4242\n", 5), 5);

    LockFileWorkspace workspace(folder.path());
    const auto found = workspace.runningApplications(bundleIdentifier);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0]->processIdentifier(), 4242);
    EXPECT_FALSE(found[0]->activate());
    ::close(lock);
}

TEST_F(LockFileWorkspaceTest, AnIdentifierThatIsNotAPlainFileNameIsRefused) {
    LockFileWorkspace workspace(folder.path());
    EXPECT_EQ(testsupport::errorText([&] { workspace.registerLaunch("../escape", [] {}); }),
              "Not a usable bundle identifier: \"../escape\": Invalid argument");
    EXPECT_TRUE(workspace.runningApplications("../escape").empty());
}

} // namespace
