#include "platform/net/CurlHandles.hpp"

#include "platform/net/UrlError.hpp"

#include <string>

namespace platform::net {

namespace {

void initialiseCurlOnce() {
    static const CURLcode status = curl_global_init(CURL_GLOBAL_DEFAULT);
    if (status != CURLE_OK) {
        throw UrlError(UrlError::Code::unknown,
                       std::string("The HTTP library could not be initialised: ").append(curl_easy_strerror(status)));
    }
}

} // namespace

EasyHandle makeEasyHandle() {
    initialiseCurlOnce();
    EasyHandle easy(curl_easy_init());
    if (!easy) {
        throw UrlError(UrlError::Code::unknown, "The HTTP library could not start a transfer.");
    }
    return easy;
}

MultiHandle makeMultiHandle() {
    initialiseCurlOnce();
    MultiHandle multi(curl_multi_init());
    if (!multi) {
        throw UrlError(UrlError::Code::unknown, "The HTTP library could not start a transfer.");
    }
    return multi;
}

} // namespace platform::net
