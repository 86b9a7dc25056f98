#include "QuorlAudio/models/ModelRegistry.hpp"

#include "QuorlAudio/foundation/AppLogger.hpp"
#include "platform/core/Concatenated.hpp"
#include "platform/sys/Environment.hpp"

#include <mutex>
#include <utility>

namespace quorl {
namespace {

constexpr std::string_view publicHubURL = "https://huggingface.co";

std::mutex customBaseURLMutex;
std::optional<std::string> customBaseURL;

const AppLogger& logger() {
    static const AppLogger instance("ModelRegistry");
    return instance;
}

platform::net::Url parsed(const std::string& composed) {
    auto url = platform::net::Url::parse(composed);
    if (!url) {
        throw ModelRegistry::Error::invalidURL(composed);
    }
    return *url;
}

} // namespace

ModelRegistry::Error::Error(const std::string& description, std::string url)
    : platform::core::Error(description), url_(std::move(url)) {}

ModelRegistry::Error ModelRegistry::Error::invalidURL(const std::string& url) {
    return Error("Invalid URL construction: " + url, url);
}

std::string ModelRegistry::baseURL() {
    {
        std::lock_guard lock(customBaseURLMutex);
        if (customBaseURL) {
            return *customBaseURL;
        }
    }
    for (const char* variable : {"REGISTRY_URL", "MODEL_REGISTRY_URL"}) {
        if (auto value = platform::sys::nonEmptyEnvironmentValue(variable)) {
            return *value;
        }
    }
    return std::string(publicHubURL);
}

void ModelRegistry::setBaseURL(std::string url) {
    std::lock_guard lock(customBaseURLMutex);
    customBaseURL = std::move(url);
}

platform::net::Url ModelRegistry::apiModels(std::string_view repo, std::string_view path) {
    return parsed(platform::core::concatenated({baseURL(), "/api/models/", repo, "/", path}));
}

platform::net::Url ModelRegistry::apiDatasets(std::string_view repo, std::string_view path) {
    return parsed(platform::core::concatenated({baseURL(), "/api/datasets/", repo, "/", path}));
}

platform::net::Url ModelRegistry::resolveModel(std::string_view repo, std::string_view path) {
    return parsed(platform::core::concatenated({baseURL(), "/", repo, "/resolve/main/", path}));
}

platform::net::Url ModelRegistry::resolveDataset(std::string_view repo, std::string_view path) {
    return parsed(platform::core::concatenated({baseURL(), "/datasets/", repo, "/resolve/main/", path}));
}

std::string ModelRegistry::resolveDatasetBase(std::string_view repo) {
    return platform::core::concatenated({baseURL(), "/datasets/", repo, "/resolve/main"});
}

std::optional<platform::net::ProxySettings> ModelRegistry::configureProxySettings() {
    platform::net::ProxySettings settings;
    if (auto value = platform::sys::environmentValue("https_proxy")) {
        settings.https = parseProxyURL(*value, ProxyKind::https);
    }
    if (auto value = platform::sys::environmentValue("http_proxy")) {
        settings.http = parseProxyURL(*value, ProxyKind::http);
    }
    if (!settings.https && !settings.http) {
        return std::nullopt;
    }
    return settings;
}

std::optional<platform::net::Proxy> ModelRegistry::parseProxyURL(const std::string& value, ProxyKind kind) {
    const std::string kindName = kind == ProxyKind::https ? "HTTPS" : "HTTP";
    const auto url = platform::net::Url::parse(value);
    if (!url || url->host().empty() || !url->port()) {
        logger().warning(platform::core::concatenated({"Invalid ", kindName, " proxy URL: ", value}));
        return std::nullopt;
    }
    const std::string port = std::to_string(*url->port());
    logger().info(platform::core::concatenated({"Configured ", kindName, " proxy: ", url->host(), ":", port}));
    return platform::net::Proxy{.host = url->host(), .port = *url->port()};
}

} // namespace quorl
