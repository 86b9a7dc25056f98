#include "platform/sys/StandardError.hpp"

#include "platform/core/SystemError.hpp"
#include "platform/sys/FileDescriptorIO.hpp"

#include <unistd.h>

#include <cerrno>
#include <span>

namespace platform::sys {

void StandardError::write(std::string_view bytes) {
    if (!writeAll(STDERR_FILENO, std::as_bytes(std::span(bytes)))) {
        throw core::SystemError::fromErrno(errno, "write to standard error");
    }
}

} // namespace platform::sys
