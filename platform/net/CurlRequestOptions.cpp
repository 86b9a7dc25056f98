#include "platform/net/CurlRequestOptions.hpp"

#include "platform/core/AsciiCase.hpp"

#include <algorithm>
#include <new>

namespace platform::net {

std::optional<UrlError> unsendableUrlError(const Url& url) {
    const auto scheme = core::asciiLowercased(url.scheme());
    if (scheme != "http" && scheme != "https") {
        return UrlError(UrlError::Code::unsupportedURL,
                        std::string("The URL's scheme is not supported: ").append(url.absoluteString()));
    }
    if (url.host().empty()) {
        return UrlError(UrlError::Code::badURL, std::string("The URL has no host: ").append(url.absoluteString()));
    }
    return std::nullopt;
}

std::string proxyFor(const Url& url, const std::optional<ProxySettings>& proxies) {
    if (!proxies) {
        return {};
    }
    const auto& proxy = core::asciiLowercased(url.scheme()) == "https" ? proxies->https : proxies->http;
    if (!proxy) {
        return {};
    }
    std::string text = "http://";
    if (proxy->host.find(':') != std::string::npos) {
        text.append("[").append(proxy->host).append("]");
    } else {
        text.append(proxy->host);
    }
    return text.append(":").append(std::to_string(proxy->port));
}

HeaderList makeHeaderList(const HttpHeaders& headers) {
    HeaderList list;
    for (const auto& [name, value] : headers.fields()) {
        // curl drops a header written "Name:" with nothing after it; "Name;" sends it with an empty value.
        std::string line(name);
        if (value.empty()) {
            line.append(";");
        } else {
            line.append(": ").append(value);
        }
        curl_slist* head = curl_slist_append(list.get(), line.c_str());
        if (!head) {
            throw std::bad_alloc();
        }
        if (!list) {
            list.reset(head);
        }
    }
    return list;
}

void applyRequest(CURL* easy, const Request& request, const std::string& proxy, curl_slist* headers) {
    curl_easy_setopt(easy, CURLOPT_URL, request.url.absoluteString().c_str());
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 20L);
    // Transfers run on many threads; signals cannot tell them apart.
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    // Setting both, even to "", stops curl from reading the proxy variables of the environment: the
    // session's configuration is the only source of proxies.
    curl_easy_setopt(easy, CURLOPT_PROXY, proxy.c_str());
    curl_easy_setopt(easy, CURLOPT_NOPROXY, "");
    curl_easy_setopt(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
    if (request.method == "HEAD") {
        curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
    } else if (request.method != "GET") {
        curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, request.method.c_str());
    }
}

} // namespace platform::net
