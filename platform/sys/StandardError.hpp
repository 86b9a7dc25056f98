#pragma once

#include <string_view>

namespace platform::sys {

class StandardError {
public:
    // Writes all of `bytes` to the process's standard error, in one write when the system allows it.
    // Throws platform::core::SystemError when the write fails.
    static void write(std::string_view bytes);
};

} // namespace platform::sys
