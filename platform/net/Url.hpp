#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform::net {

// A web address, absolute ("https://host:8080/a/b?q") or relative ("/a/b"). Parsing is strict: text with
// characters outside the URL character set (blanks, controls, non-ASCII, "<>\"{}|\\^`"), malformed
// percent escapes or a malformed port is refused rather than guessed at.
class Url {
public:
    static std::optional<Url> parse(std::string_view text);
    // The reference resolved against a base, as a browser resolves a link (RFC 3986).
    static std::optional<Url> resolve(std::string_view reference, const Url& base);

    const std::string& absoluteString() const { return text_; }
    bool isRelative() const { return scheme_.empty(); }
    const std::string& scheme() const { return scheme_; }
    const std::string& host() const { return host_; }
    std::optional<int> port() const { return port_; }
    // The path as written, percent escapes kept; without scheme, host or query.
    const std::string& path() const { return path_; }
    const std::string& query() const { return query_; }
    // The last path segment, percent escapes decoded; empty for "/" or no path.
    std::string lastPathComponent() const;

    friend bool operator==(const Url& left, const Url& right) { return left.text_ == right.text_; }

private:
    bool readAuthority(std::string_view authority);

    std::string text_;
    std::string scheme_;
    // The authority as written ("user@host:port"); absent when the text has no "//" part.
    std::optional<std::string> authority_;
    std::string host_;
    std::optional<int> port_;
    std::string path_;
    // An empty query ("a?") and no query at all resolve differently.
    bool hasQuery_ = false;
    std::string query_;
    std::optional<std::string> fragment_;
};

// Percent-encodes a file path for use as a URL path: unreserved characters, "/" and the sub-delimiters
// allowed in a path stay as they are, everything else becomes %XX of its UTF-8 bytes.
std::string percentEncodePath(std::string_view path);

} // namespace platform::net
