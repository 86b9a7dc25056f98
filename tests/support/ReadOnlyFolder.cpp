#include "tests/support/ReadOnlyFolder.hpp"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <system_error>
#include <utility>

namespace testsupport {
namespace {

namespace fs = std::filesystem;

// Sets or clears the immutable attribute; false when the file system or the process's privileges refuse.
bool setImmutable(const fs::path& folder, bool immutable) {
    const int descriptor = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0) {
        return false;
    }
    int flags = 0;
    bool done = ::ioctl(descriptor, FS_IOC_GETFLAGS, &flags) == 0;
    if (done) {
        flags = immutable ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        done = ::ioctl(descriptor, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(descriptor);
    return done;
}

} // namespace

ReadOnlyFolder::ReadOnlyFolder(fs::path folder)
    : folder_(std::move(folder)), permissions_(fs::status(folder_).permissions()) {
    fs::permissions(folder_, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    if (!holds()) {
        immutable_ = setImmutable(folder_, true);
    }
}

ReadOnlyFolder::~ReadOnlyFolder() {
    if (immutable_) {
        setImmutable(folder_, false);
    }
    std::error_code ignored;
    fs::permissions(folder_, permissions_, ignored);
}

bool ReadOnlyFolder::holds() const {
    const fs::path probe = folder_ / ".write-probe";
    std::error_code error;
    if (fs::create_directory(probe, error)) {
        fs::remove(probe, error);
        return false;
    }
    return true;
}

} // namespace testsupport
