#include "platform/sys/AtomicWrite.hpp"

#include "platform/core/Concatenated.hpp"
#include "platform/core/SystemError.hpp"
#include "platform/core/UUID.hpp"
#include "platform/sys/FileDescriptor.hpp"
#include "platform/sys/FileDescriptorIO.hpp"
#include "platform/sys/FileRemoval.hpp"

#include <cerrno>
#include <fcntl.h>
#include <string>

namespace platform::sys {
namespace {

std::filesystem::path temporarySibling(const std::filesystem::path& destination) {
    return destination.parent_path() /
           platform::core::concatenated(
               {".", destination.filename().string(), ".", platform::core::UUID::random().uuidString(), ".tmp"});
}

[[noreturn]] void fail(int error, const char* action, const std::filesystem::path& path) {
    throw platform::core::SystemError::fromErrno(error, platform::core::concatenated({action, " ", path.string()}));
}

void writeNewFile(std::span<const std::uint8_t> bytes, const std::filesystem::path& path) {
    const FileDescriptor file(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    if (!file.isOpen()) {
        fail(errno, "Cannot open", path);
    }
    if (!writeAll(file.get(), std::as_bytes(bytes))) {
        fail(errno, "Cannot write to", path);
    }
}

} // namespace

void writeAtomically(std::span<const std::uint8_t> bytes, const std::filesystem::path& destination) {
    const auto temporary = temporarySibling(destination);
    try {
        writeNewFile(bytes, temporary);
        std::filesystem::rename(temporary, destination);
    } catch (...) {
        removeIgnoringFailure(temporary);
        throw;
    }
}

} // namespace platform::sys
