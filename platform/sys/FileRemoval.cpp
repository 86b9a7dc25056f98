#include "platform/sys/FileRemoval.hpp"

#include <system_error>

namespace platform::sys {

void removeIgnoringFailure(const std::filesystem::path& path) {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

} // namespace platform::sys
