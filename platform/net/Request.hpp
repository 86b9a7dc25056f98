#pragma once

#include "platform/net/HttpHeaders.hpp"
#include "platform/net/Url.hpp"

#include <chrono>
#include <string>

namespace platform::net {

struct Request {
    Url url;
    std::string method = "GET";
    HttpHeaders headers;
    // How long the transfer may stay idle (no connection progress, no byte received) before it fails with
    // UrlError::Code::timedOut.
    std::chrono::duration<double> timeout = std::chrono::seconds(60);
};

} // namespace platform::net
