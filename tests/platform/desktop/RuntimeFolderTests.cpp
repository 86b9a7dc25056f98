#include "platform/desktop/RuntimeFolder.hpp"
#include "tests/support/ErrorText.hpp"
#include "tests/support/ScopedEnvironment.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

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

} // namespace
