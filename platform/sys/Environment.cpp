#include "platform/sys/Environment.hpp"

#include <cstdlib>

namespace platform::sys {

std::optional<std::string> environmentValue(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    if (value == nullptr) {
        return std::nullopt;
    }
    return std::string(value);
}

} // namespace platform::sys
