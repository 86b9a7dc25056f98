#include "platform/core/SystemError.hpp"

#include <system_error>

namespace platform::core {

SystemError::SystemError(std::string domain, std::int64_t code, const std::string& description,
                         std::exception_ptr underlying)
    : Error(description), domain_(std::move(domain)), code_(code), underlying_(std::move(underlying)) {}

SystemError SystemError::fromErrno(int errnoValue, const std::string& context) {
    return SystemError("POSIX", errnoValue, context + ": " + std::generic_category().message(errnoValue));
}

} // namespace platform::core
