#include "platform/sys/UserFolders.hpp"

#include "platform/core/SystemError.hpp"
#include "platform/sys/Environment.hpp"

#include <pwd.h>
#include <unistd.h>

#include <vector>

namespace platform::sys {

namespace {

// XDG asks that relative values be ignored, as if the variable were unset.
std::optional<std::filesystem::path> absoluteFromEnvironment(const std::string& name) {
    auto value = nonEmptyEnvironmentValue(name);
    if (!value || !std::filesystem::path(*value).is_absolute()) {
        return std::nullopt;
    }
    return std::filesystem::path(*value);
}

std::optional<std::filesystem::path> homeFromPasswordDatabase() {
    long bufferSize = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(bufferSize > 0 ? static_cast<std::size_t>(bufferSize) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr ||
        found->pw_dir == nullptr || found->pw_dir[0] != '/') {
        return std::nullopt;
    }
    return std::filesystem::path(found->pw_dir);
}

std::filesystem::path xdgFolder(const std::string& variable, const std::filesystem::path& fallbackUnderHome) {
    if (auto folder = absoluteFromEnvironment(variable)) {
        return *folder;
    }
    return UserFolders::home() / fallbackUnderHome;
}

} // namespace

std::filesystem::path UserFolders::home() {
    if (auto folder = absoluteFromEnvironment("HOME")) {
        return *folder;
    }
    if (auto folder = homeFromPasswordDatabase()) {
        return *folder;
    }
    throw core::SystemError("UserFolders", 1, "No home folder: HOME is unset and the user has no home entry");
}

std::filesystem::path UserFolders::applicationSupport() { return xdgFolder("XDG_DATA_HOME", ".local/share"); }

std::filesystem::path UserFolders::caches() { return xdgFolder("XDG_CACHE_HOME", ".cache"); }

std::filesystem::path UserFolders::temporary() {
    if (auto folder = absoluteFromEnvironment("TMPDIR")) {
        return *folder;
    }
    return "/tmp";
}

} // namespace platform::sys
