#include "QuorlAudio/models/WritableFile.hpp"

#include "platform/core/SystemError.hpp"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace quorl {
namespace {

[[noreturn]] void fail(int error, const char* action, const std::filesystem::path& path) {
    std::string context = action;
    context.append(" ").append(path.string());
    throw platform::core::SystemError::fromErrno(error, context);
}

} // namespace

WritableFile::WritableFile(const std::filesystem::path& path)
    : path_(path), descriptor_(::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644)) {
    if (descriptor_ < 0) {
        fail(errno, "Cannot open", path_);
    }
}

WritableFile::~WritableFile() { ::close(descriptor_); }

void WritableFile::seekToEnd() {
    if (::lseek(descriptor_, 0, SEEK_END) < 0) {
        fail(errno, "Cannot seek in", path_);
    }
}

void WritableFile::truncate() {
    if (::ftruncate(descriptor_, 0) != 0 || ::lseek(descriptor_, 0, SEEK_SET) < 0) {
        fail(errno, "Cannot truncate", path_);
    }
}

void WritableFile::write(std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(descriptor_, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written < 0) {
            fail(errno, "Cannot write to", path_);
        }
        bytes = bytes.subspan(static_cast<std::size_t>(written));
    }
}

} // namespace quorl
