#include "platform/desktop/RuntimeFolder.hpp"
#include "tests/support/ErrorText.hpp"
#include "tests/support/ScopedEnvironment.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace {

using platform::desktop::runtimeFolder;

TEST(RuntimeFolder, IsTheSessionsRuntimeFolderWhenSet) {
    testsupport::TemporaryFolder folder;
    testsupport::ScopedEnvironment environment;
    environment.set("XDG_RUNTIME_DIR", folder.path().string());
    EXPECT_EQ(runtimeFolder(), folder.path());
}

TEST(RuntimeFolder, FallsBackToAPrivateFolderOfTheUserInTheTemporaryFolder) {
    testsupport::TemporaryFolder temporary;
    testsupport::ScopedEnvironment environment;
    environment.set("XDG_RUNTIME_DIR", std::nullopt).set("TMPDIR", temporary.path().string());
    const auto expected = temporary.path() / ("runtime-" + std::to_string(getuid()));

    EXPECT_EQ(runtimeFolder(), expected);
    struct stat status {};
    ASSERT_EQ(::stat(expected.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0700u);
}

TEST(RuntimeFolder, RefusesAFallbackThatIsNotARealFolder) {
    testsupport::TemporaryFolder temporary;
    testsupport::TemporaryFolder elsewhere;
    testsupport::ScopedEnvironment environment;
    environment.set("XDG_RUNTIME_DIR", std::nullopt).set("TMPDIR", temporary.path().string());
    const auto fallback = temporary.path() / ("runtime-" + std::to_string(getuid()));
    std::filesystem::create_directory_symlink(elsewhere.path(), fallback);

    EXPECT_EQ(testsupport::errorText([] { runtimeFolder(); }),
              "The runtime folder " + fallback.string() +
                  " is not a private folder of this user: Operation not permitted");
}

TEST(RuntimeFolder, APrivateFolderIsOursRealAndClosedToOthers) {
    testsupport::TemporaryFolder parent;
    const auto made = parent.path() / "made";
    platform::desktop::requirePrivateFolder(made);
    struct stat status {};
    ASSERT_EQ(::stat(made.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0700u);

    const auto open = parent.path() / "open";
    std::filesystem::create_directory(open);
    ASSERT_EQ(::chmod(open.c_str(), 0777), 0);
    platform::desktop::requirePrivateFolder(open);
    ASSERT_EQ(::stat(open.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0700u);

    const auto file = parent.path() / "file";
    std::ofstream(file) << "";
    EXPECT_EQ(testsupport::errorText([&file] { platform::desktop::requirePrivateFolder(file); }),
              "The runtime folder " + file.string() + " is not a private folder of this user: Operation not permitted");
    if (::getuid() == 0) {
        const auto foreign = parent.path() / "foreign";
        std::filesystem::create_directory(foreign);
        ASSERT_EQ(::chown(foreign.c_str(), 65534, 65534), 0);
        EXPECT_EQ(testsupport::errorText([&foreign] { platform::desktop::requirePrivateFolder(foreign); }),
                  "The runtime folder " + foreign.string() +
                      " is not a private folder of this user: Operation not permitted");
    }
}

} // namespace
