#include "platform/core/SystemError.hpp"
#include "platform/sys/UserFolders.hpp"
#include "tests/support/ScopedEnvironment.hpp"

#include <gtest/gtest.h>

namespace {

using platform::sys::UserFolders;
using testsupport::ScopedEnvironment;

TEST(UserFolders, FollowTheXdgVariablesAndFallBackUnderHome) {
    struct Case {
        std::optional<std::string> dataHome;
        std::optional<std::string> cacheHome;
        std::string applicationSupport;
        std::string caches;
    };
    const Case cases[] = {
        {"/data", "/cache", "/data", "/cache"},
        {std::nullopt, std::nullopt, "/home/u/.local/share", "/home/u/.cache"},
        {"", "", "/home/u/.local/share", "/home/u/.cache"},
        // Relative values are not trusted, as if unset.
        {"relative/data", "relative/cache", "/home/u/.local/share", "/home/u/.cache"},
    };
    for (const auto& testCase : cases) {
        ScopedEnvironment environment;
        environment.set("HOME", "/home/u")
            .set("XDG_DATA_HOME", testCase.dataHome)
            .set("XDG_CACHE_HOME", testCase.cacheHome);
        EXPECT_EQ(UserFolders::applicationSupport(), testCase.applicationSupport);
        EXPECT_EQ(UserFolders::caches(), testCase.caches);
    }
}

TEST(UserFolders, HomeFallsBackToThePasswordDatabase) {
    ScopedEnvironment environment;
    environment.set("HOME", std::nullopt);
    const auto home = UserFolders::home();
    EXPECT_TRUE(home.is_absolute());
}

TEST(UserFolders, TemporaryDefaultsToTmp) {
    ScopedEnvironment environment;
    environment.set("TMPDIR", std::nullopt);
    EXPECT_EQ(UserFolders::temporary(), "/tmp");
    environment.set("TMPDIR", "/var/tmp");
    EXPECT_EQ(UserFolders::temporary(), "/var/tmp");
}

} // namespace
