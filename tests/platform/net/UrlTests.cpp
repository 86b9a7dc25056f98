#include "platform/net/Url.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

using platform::net::percentEncodePath;
using platform::net::Url;

struct Components {
    std::string text;
    std::string scheme;
    std::string host;
    std::optional<int> port;
    std::string path;
    std::string query;
};

TEST(Url, ParsesAbsoluteAndRelativeUrlsIntoTheirComponents) {
    const Components cases[] = {
        {.text = "https://host:8080/a/b?q",
         .scheme = "https",
         .host = "host",
         .port = 8080,
         .path = "/a/b",
         .query = "q"},
        {.text = "http://h", .scheme = "http", .host = "h", .port = std::nullopt, .path = "", .query = ""},
        {.text = "http://h:/p", .scheme = "http", .host = "h", .port = std::nullopt, .path = "/p", .query = ""},
        {.text = "http://user:pw@h/p%20q#f",
         .scheme = "http",
         .host = "h",
         .port = std::nullopt,
         .path = "/p%20q",
         .query = ""},
        {.text = "http://[::1]:80/x?a=1&b=[2]",
         .scheme = "http",
         .host = "::1",
         .port = 80,
         .path = "/x",
         .query = "a=1&b=[2]"},
        {.text = "/api/models/o/r/tree/main",
         .scheme = "",
         .host = "",
         .port = std::nullopt,
         .path = "/api/models/o/r/tree/main",
         .query = ""},
        {.text = "a/b:c?x#y", .scheme = "", .host = "", .port = std::nullopt, .path = "a/b:c", .query = "x"},
        {.text = "//cdn.example/f",
         .scheme = "",
         .host = "cdn.example",
         .port = std::nullopt,
         .path = "/f",
         .query = ""},
    };
    for (const auto& expected : cases) {
        SCOPED_TRACE(expected.text);
        const auto url = Url::parse(expected.text);
        ASSERT_TRUE(url);
        EXPECT_EQ(url->absoluteString(), expected.text);
        EXPECT_EQ(url->isRelative(), expected.scheme.empty());
        EXPECT_EQ(url->scheme(), expected.scheme);
        EXPECT_EQ(url->host(), expected.host);
        EXPECT_EQ(url->port(), expected.port);
        EXPECT_EQ(url->path(), expected.path);
        EXPECT_EQ(url->query(), expected.query);
    }
}

TEST(Url, RefusesTextOutsideTheUrlSyntax) {
    const std::string cases[] = {
        "",
        "http://exa mple.com/",
        "http://h/a b",
        "http://h/a\tb",
        std::string("http://h/a\x01", 11),
        "http://h/caf\xC3\xA9",
        "http://h/<a>",
        "http://h/\"q\"",
        "http://h/{x}",
        "http://h/a|b",
        "http://h/a\\b",
        "http://h/a^b",
        "http://h/a`b",
        "http://h/a%2",
        "http://h/a%zz",
        "http://h:80a/",
        "http://h:65536/",
        "http://h:123456/",
        "http://[::1/x",
        "http://h/a#b#c",
        "1http://h/",
        "http://a@b@c/",
    };
    for (const auto& text : cases) {
        EXPECT_FALSE(Url::parse(text)) << text;
    }
}

TEST(Url, ResolvesReferencesAgainstABaseAsRfc3986Does) {
    const auto base = Url::parse("http://a/b/c/d;p?q");
    ASSERT_TRUE(base);
    const std::pair<std::string, std::string> cases[] = {
        {"g", "http://a/b/c/g"},
        {"./g", "http://a/b/c/g"},
        {"g/", "http://a/b/c/g/"},
        {"/g", "http://a/g"},
        {"//g", "http://g"},
        {"?y", "http://a/b/c/d;p?y"},
        {"g?y", "http://a/b/c/g?y"},
        {"#s", "http://a/b/c/d;p?q#s"},
        {"", "http://a/b/c/d;p?q"},
        {".", "http://a/b/c/"},
        {"..", "http://a/b/"},
        {"../g", "http://a/b/g"},
        {"../../../g", "http://a/g"},
        {"/./g", "http://a/g"},
        {"g;x=1/../y", "http://a/b/c/y"},
        {"https://other:8443/x/../y", "https://other:8443/y"},
    };
    for (const auto& [reference, expected] : cases) {
        const auto resolved = Url::resolve(reference, *base);
        ASSERT_TRUE(resolved) << reference;
        EXPECT_EQ(resolved->absoluteString(), expected) << reference;
    }
    const auto withHost = Url::resolve("/api?cursor=2", *Url::parse("http://127.0.0.1:8080/api?cursor=1"));
    ASSERT_TRUE(withHost);
    EXPECT_EQ(withHost->host(), "127.0.0.1");
    EXPECT_EQ(withHost->port(), 8080);
    EXPECT_EQ(withHost->query(), "cursor=2");
    EXPECT_FALSE(Url::resolve("a b", *base));
}

TEST(Url, LastPathComponentIsTheDecodedLastSegment) {
    const std::pair<std::string, std::string> cases[] = {
        {"http://h/a/b.json", "b.json"},
        {"http://h/a/b%20c.bin?x=1", "b c.bin"},
        {"http://h/a/dir/", "dir"},
        {"http://h/", ""},
        {"http://h", ""},
        {"file.txt", "file.txt"},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(Url::parse(text)->lastPathComponent(), expected) << text;
    }
}

TEST(Url, PercentEncodePathKeepsSlashesAndPathCharacters) {
    const std::pair<std::string, std::string> cases[] = {
        {"Models/encoder.mlmodelc/weights/weight.bin", "Models/encoder.mlmodelc/weights/weight.bin"},
        {"a b/c", "a%20b/c"},
        {"voix/\xC3\xA9t\xC3\xA9.bin", "voix/%C3%A9t%C3%A9.bin"},
        {"q?#%;", "q%3F%23%25%3B"},
        {"-._~!$&'()*+,=:@", "-._~!$&'()*+,=:@"},
        {"<>\"{}|\\^`[]", "%3C%3E%22%7B%7D%7C%5C%5E%60%5B%5D"},
    };
    for (const auto& [path, expected] : cases) {
        EXPECT_EQ(percentEncodePath(path), expected) << path;
        EXPECT_TRUE(Url::parse(std::string("http://h/").append(percentEncodePath(path)))) << path;
    }
}

} // namespace
