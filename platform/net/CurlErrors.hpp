#pragma once

#include "platform/net/UrlError.hpp"

#include <curl/curl.h>

#include <string_view>

namespace platform::net {

// The URL error for a failed curl transfer: the failure kind callers decide retries on, and a description
// that ends with curl's own account of what went wrong (`detail`). `osErrno` is the transfer's
// CURLINFO_OS_ERRNO.
UrlError urlErrorFromCurl(CURLcode code, long osErrno, std::string_view detail);

} // namespace platform::net
