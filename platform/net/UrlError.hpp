#pragma once

#include "platform/core/SystemError.hpp"

#include <string>

namespace platform::net {

// A failed transfer. Its domain is "URLError"; the codes are the ones callers decide retries on.
class UrlError : public core::SystemError {
public:
    enum class Code : int {
        unknown = -1,
        cancelled = -999,
        badURL = -1000,
        timedOut = -1001,
        unsupportedURL = -1002,
        cannotFindHost = -1003,
        cannotConnectToHost = -1004,
        networkConnectionLost = -1005,
        dnsLookupFailed = -1006,
        httpTooManyRedirects = -1007,
        resourceUnavailable = -1008,
        notConnectedToInternet = -1009,
        badServerResponse = -1011,
        cannotCreateFile = -3000,
        cannotWriteToFile = -3003,
        secureConnectionFailed = -1200,
    };
    static constexpr const char* errorDomain = "URLError";

    UrlError(Code code, const std::string& description);

    Code urlCode() const { return static_cast<Code>(code()); }
};

} // namespace platform::net
