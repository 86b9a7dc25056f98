#include "QuorlAudio/models/WritableFile.hpp"

#include "platform/core/SystemError.hpp"
#include "platform/sys/FileDescriptorIO.hpp"

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
    if (!platform::sys::writeAll(descriptor_, std::as_bytes(bytes))) {
        fail(errno, "Cannot write to", path_);
    }
}

} // namespace quorl
