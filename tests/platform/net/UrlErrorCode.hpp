#pragma once

#include "platform/net/UrlError.hpp"

#include <exception>

namespace nettest {

// The code of the UrlError in `error`; a test failure, and `unknown`, when it holds anything else.
platform::net::UrlError::Code urlErrorCode(const std::exception_ptr& error);

} // namespace nettest
