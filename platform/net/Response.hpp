#pragma once

#include "platform/net/HttpHeaders.hpp"
#include "platform/net/Url.hpp"

#include <cstdint>

namespace platform::net {

// The head of an HTTP response: the final URL after redirects, the status and the header fields.
struct Response {
    Url url;
    int statusCode = 0;
    HttpHeaders headers;

    // The "Content-Length" value, or -1 when absent or unreadable.
    std::int64_t expectedContentLength() const;
};

} // namespace platform::net
