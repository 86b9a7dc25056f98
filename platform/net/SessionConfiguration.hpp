#pragma once

#include <optional>
#include <string>

namespace platform::net {

struct Proxy {
    std::string host;
    int port = 0;
    friend bool operator==(const Proxy&, const Proxy&) = default;
};

// The proxies of a session: "https" URLs go through `https`, "http" URLs through `http`; a URL whose
// scheme has no proxy here connects directly (the process's proxy variables are not consulted).
struct ProxySettings {
    std::optional<Proxy> https;
    std::optional<Proxy> http;
    friend bool operator==(const ProxySettings&, const ProxySettings&) = default;
};

struct SessionConfiguration {
    std::optional<ProxySettings> proxies;
};

} // namespace platform::net
