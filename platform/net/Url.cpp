#include "platform/net/Url.hpp"

#include "platform/net/UrlCharacters.hpp"

#include <algorithm>
#include <charconv>

namespace platform::net {

namespace {

using namespace detail;

bool isUrlCharacter(char character) {
    return isUnreserved(character) || isGeneralDelimiter(character) || isSubDelimiter(character) || character == '%';
}

bool isScheme(std::string_view text) {
    return !text.empty() && isAlpha(text.front()) && std::all_of(text.begin(), text.end(), [](char character) {
        return isAlpha(character) || isDigit(character) || character == '+' || character == '-' || character == '.';
    });
}

bool isUserInfo(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char character) {
        return isUnreserved(character) || isSubDelimiter(character) || character == '%' || character == ':';
    });
}

bool isRegisteredName(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char character) {
        return isUnreserved(character) || isSubDelimiter(character) || character == '%';
    });
}

// An IPv6 address or a future address form inside the brackets of an IP literal.
bool isAddressLiteral(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char character) {
        return isUnreserved(character) || isSubDelimiter(character) || character == ':';
    });
}

// Up to five digits, at most 65535.
std::optional<int> readPort(std::string_view text) {
    if (text.empty() || text.size() > 5 || !std::all_of(text.begin(), text.end(), isDigit)) {
        return std::nullopt;
    }
    int port = 0;
    std::from_chars(text.data(), text.data() + text.size(), port);
    return port <= 65535 ? std::optional<int>(port) : std::nullopt;
}

} // namespace

std::optional<Url> Url::parse(std::string_view text) {
    if (text.empty() || !std::all_of(text.begin(), text.end(), isUrlCharacter) || !hasWellFormedEscapes(text)) {
        return std::nullopt;
    }
    Url url;
    url.text_ = text;
    std::string_view rest = text;
    if (const auto hash = rest.find('#'); hash != std::string_view::npos) {
        const auto fragment = rest.substr(hash + 1);
        if (fragment.find('#') != std::string_view::npos) {
            return std::nullopt;
        }
        url.fragment_ = std::string(fragment);
        rest = rest.substr(0, hash);
    }
    if (const auto question = rest.find('?'); question != std::string_view::npos) {
        url.hasQuery_ = true;
        url.query_ = rest.substr(question + 1);
        rest = rest.substr(0, question);
    }
    // A colon before the first slash ends a scheme; a relative path may not have one in its first segment.
    if (const auto colon = rest.find(':'); colon != std::string_view::npos && colon < rest.find('/')) {
        if (!isScheme(rest.substr(0, colon))) {
            return std::nullopt;
        }
        url.scheme_ = rest.substr(0, colon);
        rest = rest.substr(colon + 1);
    }
    if (rest.starts_with("//")) {
        const auto end = rest.find('/', 2);
        if (!url.readAuthority(rest.substr(2, end == std::string_view::npos ? std::string_view::npos : end - 2))) {
            return std::nullopt;
        }
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end);
    }
    url.path_ = rest;
    return url;
}

bool Url::readAuthority(std::string_view authority) {
    authority_ = std::string(authority);
    std::string_view hostAndPort = authority;
    if (const auto at = authority.rfind('@'); at != std::string_view::npos) {
        if (!isUserInfo(authority.substr(0, at))) {
            return false;
        }
        hostAndPort = authority.substr(at + 1);
    }
    std::string_view host;
    std::string_view afterHost;
    if (hostAndPort.starts_with('[')) {
        const auto close = hostAndPort.find(']');
        if (close == std::string_view::npos || !isAddressLiteral(hostAndPort.substr(1, close - 1))) {
            return false;
        }
        host = hostAndPort.substr(1, close - 1);
        afterHost = hostAndPort.substr(close + 1);
    } else {
        const auto colon = hostAndPort.find(':');
        host = hostAndPort.substr(0, colon);
        afterHost = colon == std::string_view::npos ? std::string_view() : hostAndPort.substr(colon);
        if (!isRegisteredName(host)) {
            return false;
        }
    }
    host_ = host;
    // An empty port ("host:") is allowed and means the scheme's default.
    if (afterHost.empty() || afterHost == ":") {
        return true;
    }
    if (!afterHost.starts_with(':')) {
        return false;
    }
    port_ = readPort(afterHost.substr(1));
    return port_.has_value();
}

std::string Url::lastPathComponent() const {
    std::string_view path = path_;
    while (path.ends_with('/')) {
        path.remove_suffix(1);
    }
    const auto slash = path.rfind('/');
    return detail::percentDecode(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

} // namespace platform::net
