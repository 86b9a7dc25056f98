#include "platform/net/CurlErrors.hpp"

#include <cerrno>
#include <string>

namespace platform::net {

namespace {

struct Failure {
    UrlError::Code code;
    const char* summary;
};

bool isSecureConnectionFailure(CURLcode code) {
    switch (code) {
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_USE_SSL_FAILED:
    case CURLE_SSL_ENGINE_INITFAILED:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_CLIENTCERT: return true;
    default: return false;
    }
}

bool isLostConnection(CURLcode code) {
    switch (code) {
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_PARTIAL_FILE:
    case CURLE_GOT_NOTHING:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
    case CURLE_HTTP3: return true;
    default: return false;
    }
}

Failure connectFailure(long osErrno) {
    if (osErrno == ENETUNREACH || osErrno == ENETDOWN) {
        return {.code = UrlError::Code::notConnectedToInternet, .summary = "The network is unreachable"};
    }
    return {.code = UrlError::Code::cannotConnectToHost, .summary = "Could not connect to the server"};
}

Failure failureFor(CURLcode code, long osErrno) {
    if (isSecureConnectionFailure(code)) {
        return {.code = UrlError::Code::secureConnectionFailed,
                .summary = "A secure connection to the server could not be made"};
    }
    if (isLostConnection(code)) {
        return {.code = UrlError::Code::networkConnectionLost, .summary = "The network connection was lost"};
    }
    switch (code) {
    case CURLE_OPERATION_TIMEDOUT: return {.code = UrlError::Code::timedOut, .summary = "The request timed out"};
    case CURLE_COULDNT_RESOLVE_HOST:
        return {.code = UrlError::Code::cannotFindHost,
                .summary = "A server with the specified host name could not be found"};
    case CURLE_COULDNT_RESOLVE_PROXY:
        return {.code = UrlError::Code::dnsLookupFailed, .summary = "The proxy's host name could not be resolved"};
    case CURLE_COULDNT_CONNECT: return connectFailure(osErrno);
    case CURLE_PROXY:
        return {.code = UrlError::Code::cannotConnectToHost, .summary = "Could not connect through the proxy"};
    case CURLE_INTERFACE_FAILED:
        return {.code = UrlError::Code::notConnectedToInternet, .summary = "No network interface could be used"};
    case CURLE_ABORTED_BY_CALLBACK: return {.code = UrlError::Code::cancelled, .summary = "The transfer was cancelled"};
    case CURLE_URL_MALFORMAT: return {.code = UrlError::Code::badURL, .summary = "The URL is malformed"};
    case CURLE_UNSUPPORTED_PROTOCOL:
        return {.code = UrlError::Code::unsupportedURL, .summary = "The URL's scheme is not supported"};
    case CURLE_TOO_MANY_REDIRECTS:
        return {.code = UrlError::Code::httpTooManyRedirects, .summary = "There were too many HTTP redirects"};
    case CURLE_WRITE_ERROR:
        return {.code = UrlError::Code::cannotWriteToFile, .summary = "The received data could not be stored"};
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_BAD_CONTENT_ENCODING:
        return {.code = UrlError::Code::badServerResponse, .summary = "The server's response could not be understood"};
    default: return {.code = UrlError::Code::unknown, .summary = "The transfer failed"};
    }
}

} // namespace

UrlError urlErrorFromCurl(CURLcode code, long osErrno, std::string_view detail) {
    const auto failure = failureFor(code, osErrno);
    std::string description(failure.summary);
    description.append(" (").append(detail.empty() ? std::string_view(curl_easy_strerror(code)) : detail).append(").");
    return UrlError(failure.code, description);
}

} // namespace platform::net
