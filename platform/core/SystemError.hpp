#pragma once

#include "platform/core/Error.hpp"

#include <cstdint>
#include <exception>
#include <string>

namespace platform::core {

// The platform's own error object: a domain, an integer code, a description and an optional underlying error.
class SystemError : public Error {
public:
    SystemError(std::string domain, std::int64_t code, const std::string& description,
                std::exception_ptr underlying = {});

    const std::string& domain() const { return domain_; }
    std::int64_t code() const { return code_; }
    const std::exception_ptr& underlying() const { return underlying_; }

    // An error for a failed POSIX call: domain "POSIX", the errno value and its strerror text after the context.
    static SystemError fromErrno(int errnoValue, const std::string& context);

private:
    std::string domain_;
    std::int64_t code_;
    std::exception_ptr underlying_;
};

} // namespace platform::core
