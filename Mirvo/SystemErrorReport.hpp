#pragma once

#include "platform/core/SystemError.hpp"

#include <exception>
#include <string>

namespace mirvo {

// The domain given to failures that are not platform errors when they are turned into one.
inline constexpr const char* hostErrorDomain = "mirvo";

// A failure as a platform error: platform errors unchanged; any other error becomes one of domain
// `hostErrorDomain`, code 1, its description, with the original as the underlying error.
platform::core::SystemError asSystemError(const std::exception_ptr& failure);

// What the interface layer is told about a failed operation: the platform error's integer code in
// decimal and its description.
struct SystemErrorReport {
    std::string code;
    std::string message;

    static SystemErrorReport of(const std::exception_ptr& failure);
};

} // namespace mirvo
