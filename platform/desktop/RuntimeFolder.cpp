#include "platform/desktop/RuntimeFolder.hpp"

#include "platform/core/Concatenated.hpp"
#include "platform/core/SystemError.hpp"
#include "platform/sys/Environment.hpp"
#include "platform/sys/UserFolders.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace platform::desktop {

// A folder others can write into is only used when it is a real folder that this user owns and nobody else
// can enter; anything else could be a trap laid by another user.
void requirePrivateFolder(const std::filesystem::path& folder) {
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        throw core::SystemError::fromErrno(errno,
                                           core::concatenated({"Cannot create the runtime folder ", folder.string()}));
    }
    struct stat status {};
    if (::lstat(folder.c_str(), &status) != 0) {
        throw core::SystemError::fromErrno(errno,
                                           core::concatenated({"Cannot inspect the runtime folder ", folder.string()}));
    }
    if (!S_ISDIR(status.st_mode) || status.st_uid != ::getuid()) {
        throw core::SystemError::fromErrno(EPERM, core::concatenated({"The runtime folder ", folder.string(),
                                                                      " is not a private folder of this user"}));
    }
    if ((status.st_mode & 0077) != 0 && ::chmod(folder.c_str(), 0700) != 0) {
        throw core::SystemError::fromErrno(
            errno, core::concatenated({"Cannot make the runtime folder private ", folder.string()}));
    }
}

std::filesystem::path runtimeFolder() {
    if (auto value = sys::environmentValue("XDG_RUNTIME_DIR"); value && std::filesystem::path(*value).is_absolute()) {
        return *value;
    }
    auto folder = sys::UserFolders::temporary() / core::concatenated({"runtime-", std::to_string(::getuid())});
    requirePrivateFolder(folder);
    return folder;
}

} // namespace platform::desktop
