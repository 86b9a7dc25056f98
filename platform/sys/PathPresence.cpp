#include "platform/sys/PathPresence.hpp"

#include <system_error>

namespace platform::sys {

bool isPresent(const std::filesystem::path& path) {
    std::error_code unreadable;
    return std::filesystem::exists(path, unreadable);
}

} // namespace platform::sys
