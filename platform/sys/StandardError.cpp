#include "platform/sys/StandardError.hpp"

#include "platform/core/SystemError.hpp"

#include <unistd.h>

#include <cerrno>

namespace platform::sys {

void StandardError::write(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(STDERR_FILENO, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw core::SystemError::fromErrno(errno, "write to standard error");
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
}

} // namespace platform::sys
