#include "QuorlAudio/models/HFClient.hpp"

#include "QuorlAudio/models/DownloadConfig.hpp"
#include "QuorlAudio/models/DownloadError.hpp"
#include "QuorlAudio/models/HttpDate.hpp"
#include "QuorlAudio/models/ModelRegistry.hpp"
#include "platform/core/AsciiCase.hpp"
#include "platform/sys/Environment.hpp"
#include "platform/text/GraphemeClusters.hpp"
#include "platform/text/Utf8.hpp"
#include "platform/text/WhiteSpace.hpp"

#include <algorithm>
#include <charconv>
#include <limits>
#include <string_view>

namespace quorl {
namespace {

constexpr std::size_t sniffedBytes = 512;
constexpr std::size_t snippetCharacters = 100;

std::string_view head(std::span<const std::uint8_t> body) {
    return {reinterpret_cast<const char*>(body.data()), std::min(body.size(), sniffedBytes)};
}

// The port a URL connects to: its own, else its scheme's default.
std::optional<int> effectivePort(const platform::net::Url& url) {
    if (url.port()) {
        return url.port();
    }
    const std::string scheme = platform::core::asciiLowercased(url.scheme());
    if (scheme == "https") {
        return 443;
    }
    return scheme == "http" ? std::optional(80) : std::nullopt;
}

bool isOnHubOrigin(const platform::net::Url& url) {
    const auto hub = platform::net::Url::parse(ModelRegistry::baseURL());
    return hub && platform::core::asciiLowercased(hub->scheme()) == platform::core::asciiLowercased(url.scheme()) &&
           platform::core::asciiLowercased(hub->host()) == platform::core::asciiLowercased(url.host()) &&
           effectivePort(*hub) == effectivePort(url);
}

std::u32string_view withoutQuotes(std::u32string_view text) {
    const auto first = text.find_first_not_of(U'"');
    if (first == std::u32string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(U'"') - first + 1);
}

// Whether the parameters of one "Link" entry (the text after its "<…>") carry the relation "next".
bool hasNextRelation(std::string_view parameters) {
    const std::string lowered = platform::core::asciiLowercased(parameters);
    const auto relation = lowered.find("rel=");
    if (relation == std::string::npos) {
        return false;
    }
    std::string_view relations(lowered);
    relations = relations.substr(relation + 4);
    relations = relations.substr(0, relations.find(';'));
    const std::u32string decoded = platform::text::decodeScalars(relations);
    std::u32string_view value = withoutQuotes(platform::text::trimmingBlanks(decoded));
    while (!value.empty()) {
        const auto blank = value.find(U' ');
        if (value.substr(0, blank) == U"next") {
            return true;
        }
        value = blank == std::u32string_view::npos ? std::u32string_view() : value.substr(blank + 1);
    }
    return false;
}

// A Link target as written, except that a relative one is taken relative to the page it came with (a
// request for a relative URL could not be sent). Text that is no URL, the empty target among it, gives
// nothing, so a listing never loops on the page it is reading.
std::optional<platform::net::Url> linkTarget(std::string_view target, const platform::net::Url& page) {
    const auto written = platform::net::Url::parse(target);
    if (!written || !written->isRelative()) {
        return written;
    }
    return platform::net::Url::resolve(target, page);
}

// A number too large or too small for a double: the largest double when its magnitude overflows (so it is
// capped like any other long delay), zero when it underflows or is negative.
double outOfRangeValue(std::string_view text) {
    const auto exponent = text.find_first_of("eE");
    const bool underflows = exponent != std::string_view::npos && text.substr(exponent + 1).starts_with('-');
    return underflows || text.starts_with('-') ? 0.0 : std::numeric_limits<double>::max();
}

// The whole text as a decimal floating-point number, with an optional sign; blanks are not allowed.
std::optional<double> parseSeconds(std::string_view text) {
    if (text.starts_with('+') && !text.substr(1).starts_with('-')) {
        text.remove_prefix(1);
    }
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    if (error == std::errc::result_out_of_range) {
        return outOfRangeValue(text);
    }
    return error == std::errc() ? std::optional(value) : std::nullopt;
}

bool startsWith(std::u32string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(),
                      [](char expected, char32_t actual) { return static_cast<char32_t>(expected) == actual; });
}

} // namespace

std::shared_ptr<platform::net::Session> HFClient::session() {
    static const std::shared_ptr<platform::net::Session> shared = [] {
        platform::net::SessionConfiguration configuration;
        configuration.proxies = ModelRegistry::configureProxySettings();
        return platform::net::Session::make(configuration);
    }();
    return shared;
}

std::optional<std::string> HFClient::huggingFaceToken() {
    for (const char* variable : {"HF_TOKEN", "HUGGING_FACE_HUB_TOKEN", "HUGGINGFACEHUB_API_TOKEN"}) {
        if (auto token = platform::sys::nonEmptyEnvironmentValue(variable)) {
            return token;
        }
    }
    return std::nullopt;
}

platform::net::Request HFClient::request(const platform::net::Url& url) {
    platform::net::Request request;
    request.url = url;
    request.timeout = std::chrono::duration<double>(DownloadConfig::defaultConfig().timeout);
    if (const auto token = huggingFaceToken(); token && isOnHubOrigin(url)) {
        request.headers.set("Authorization", "Bearer " + *token);
    }
    return request;
}

std::optional<platform::net::Url> HFClient::nextPageURL(const platform::net::Response& response) {
    const auto header = response.headers.value("Link");
    if (!header) {
        return std::nullopt;
    }
    std::string_view remainder(*header);
    while (!remainder.empty()) {
        const auto open = remainder.find('<');
        if (open == std::string_view::npos) {
            return std::nullopt;
        }
        const auto close = remainder.find('>', open + 1);
        if (close == std::string_view::npos) {
            return std::nullopt;
        }
        const auto target = remainder.substr(open + 1, close - open - 1);
        const auto comma = remainder.find(',', close + 1);
        if (hasNextRelation(remainder.substr(close + 1, comma == std::string_view::npos ? comma : comma - close - 1))) {
            return linkTarget(target, response.url);
        }
        remainder = comma == std::string_view::npos ? std::string_view() : remainder.substr(comma + 1);
    }
    return std::nullopt;
}

bool HFClient::looksLikeHTML(std::span<const std::uint8_t> body) {
    // Only the ASCII letters of the markers matter, so lower-casing ASCII is enough.
    const std::u32string text = platform::text::decodeScalars(platform::core::asciiLowercased(head(body)));
    const auto trimmed = platform::text::trimmingWhiteSpaceAndLineBreaks(text);
    return startsWith(trimmed, "<!doctype html") || startsWith(trimmed, "<html") || startsWith(trimmed, "<?xml");
}

void HFClient::validateJSONResponse(std::span<const std::uint8_t> body, const std::string& path) {
    const auto text = platform::text::decodeScalarsStrictly(head(body));
    if (!text) {
        if (looksLikeHTML(body)) {
            throw DownloadError::htmlErrorResponse(path, "");
        }
        return;
    }
    const auto trimmed = platform::text::trimmingWhiteSpaceAndLineBreaks(*text);
    if (!trimmed.starts_with(U'<')) {
        return;
    }
    // The snippet counts user-perceived characters; a "<" joined with a combining mark is another character.
    const auto characters = platform::text::graphemeClusters(platform::text::encodeScalars(trimmed));
    if (characters.front() != "<") {
        return;
    }
    std::string snippet;
    for (std::size_t index = 0; index < std::min(characters.size(), snippetCharacters); ++index) {
        snippet.append(characters[index]);
    }
    throw DownloadError::htmlErrorResponse(path, snippet);
}

std::optional<double> HFClient::retryAfter(const platform::net::Response& response,
                                           std::chrono::system_clock::time_point now) {
    const auto value = response.headers.value("Retry-After");
    if (!value) {
        return std::nullopt;
    }
    if (const auto seconds = parseSeconds(*value)) {
        // Also turns not-a-number into zero.
        return *seconds >= 0 ? *seconds : 0.0;
    }
    if (const auto date = parseHttpDate(*value)) {
        // Compared first: the difference of a far past date and now would not fit the clock.
        return *date <= now ? 0.0 : std::chrono::duration<double>(*date - now).count();
    }
    return std::nullopt;
}

} // namespace quorl
