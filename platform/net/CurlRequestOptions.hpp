#pragma once

#include "platform/net/CurlHandles.hpp"
#include "platform/net/Request.hpp"
#include "platform/net/SessionConfiguration.hpp"
#include "platform/net/UrlError.hpp"

#include <optional>
#include <string>

namespace platform::net {

// Why a request cannot be sent at all: a URL that is not an absolute http or https URL with a host.
std::optional<UrlError> unsendableUrlError(const Url& url);

// The proxy URL for curl: the configured proxy of the URL's scheme, or "" for a direct connection.
std::string proxyFor(const Url& url, const std::optional<ProxySettings>& proxies);

HeaderList makeHeaderList(const HttpHeaders& headers);

// Sets the request's URL, method, headers and proxy and the session's fixed rules: http and https only,
// redirects followed up to 20 times, no proxy taken from the environment. `headers` must outlive the
// transfer.
void applyRequest(CURL* easy, const Request& request, const std::string& proxy, curl_slist* headers);

} // namespace platform::net
