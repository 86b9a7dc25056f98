#pragma once

#include "platform/net/Request.hpp"

#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <vector>

namespace nettest {

// A GET of `url` with the given idle time-out.
platform::net::Request get(const std::string& url, double timeoutSeconds = 10);

std::string text(const std::vector<std::uint8_t>& bytes);

// What `action` threw, or null.
std::exception_ptr failureOf(const std::function<void()>& action);

} // namespace nettest
