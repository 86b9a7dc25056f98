#pragma once

#include "platform/core/Error.hpp"
#include "platform/net/SessionConfiguration.hpp"
#include "platform/net/Url.hpp"

#include <optional>
#include <string>
#include <string_view>

namespace quorl {

// Where the model hub is: its base URL, the URLs of repositories and files on it, and the proxies the
// hub session goes through. Holds no connection.
class ModelRegistry {
public:
    class Error : public platform::core::Error {
    public:
        enum class Kind { invalidURL };

        static Error invalidURL(const std::string& url);

        Kind kind() const { return Kind::invalidURL; }
        // The composed text that could not be parsed.
        const std::string& url() const { return url_; }

    private:
        Error(const std::string& description, std::string url);

        std::string url_;
    };

    // A base URL set in code wins; else "REGISTRY_URL", else "MODEL_REGISTRY_URL" (an empty one counts as unset),
    // else the public hub. Worked out afresh on every read.
    static std::string baseURL();
    // There is no way back to the environment once this is set.
    static void setBaseURL(std::string url);

    // `repo` is "owner/name"; `path` is inside the repository and already percent-encoded where needed.
    // Nothing is escaped, trimmed or normalised; a text the URL parser refuses throws Error::invalidURL.
    static platform::net::Url apiModels(std::string_view repo, std::string_view path);
    static platform::net::Url apiDatasets(std::string_view repo, std::string_view path);
    static platform::net::Url resolveModel(std::string_view repo, std::string_view path);
    static platform::net::Url resolveDataset(std::string_view repo, std::string_view path);
    static std::string resolveDatasetBase(std::string_view repo);

    // The proxies of the hub session from "https_proxy" and "http_proxy"; none when neither gives a usable
    // one. Read once, when the hub session is made.
    static std::optional<platform::net::ProxySettings> configureProxySettings();

private:
    enum class ProxyKind { https, http };
    static std::optional<platform::net::Proxy> parseProxyURL(const std::string& value, ProxyKind kind);
};

} // namespace quorl
