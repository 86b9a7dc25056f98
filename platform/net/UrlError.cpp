#include "platform/net/UrlError.hpp"

namespace platform::net {

UrlError::UrlError(Code code, const std::string& description)
    : SystemError(errorDomain, static_cast<int>(code), description) {}

} // namespace platform::net
