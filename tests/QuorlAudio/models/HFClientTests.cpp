#include "QuorlAudio/models/DownloadError.hpp"
#include "QuorlAudio/models/HFClient.hpp"
#include "QuorlAudio/models/HttpDate.hpp"
#include "tests/support/ScopedEnvironment.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace quorl {
namespace {

using platform::net::Response;
using platform::net::Url;
using testsupport::ScopedEnvironment;

std::vector<std::uint8_t> bytes(const std::string& text) { return {text.begin(), text.end()}; }

Response responseWith(const std::string& header, const std::optional<std::string>& value) {
    Response response;
    response.url = *Url::parse("http://hub.test/api/models/o/r/tree/main");
    response.statusCode = 200;
    if (value) {
        response.headers.set(header, *value);
    }
    return response;
}

struct TokenCase {
    std::optional<std::string> hfToken;
    std::optional<std::string> hubToken;
    std::optional<std::string> apiToken;
    std::optional<std::string> expected;
};

TEST(HFClient, TokenIsTheFirstVariableThatIsNotEmpty) {
    const std::vector<TokenCase> cases = {
        {std::nullopt, std::nullopt, std::nullopt, std::nullopt},
        {"one", "two", "three", "one"},
        {std::nullopt, "two", "three", "two"},
        {std::nullopt, std::nullopt, "three", "three"},
        {"", "two", "three", "two"},
        {"", "", "", std::nullopt},
    };
    for (const auto& [hfToken, hubToken, apiToken, expected] : cases) {
        ScopedEnvironment environment;
        environment.set("HF_TOKEN", hfToken).set("HUGGING_FACE_HUB_TOKEN", hubToken);
        environment.set("HUGGINGFACEHUB_API_TOKEN", apiToken);
        EXPECT_EQ(HFClient::huggingFaceToken(), expected);
    }
}

struct AuthorizationCase {
    std::optional<std::string> token;
    std::string url;
    std::optional<std::string> expected;
};

TEST(HFClient, RequestsCarryTheTokenOnlyToTheHubsOwnSchemeHostAndPort) {
    const std::vector<AuthorizationCase> cases = {
        {"secret", "http://hub.test:8080/o/r/resolve/main/a.bin", "Bearer secret"},
        {"secret", "HTTP://HUB.test:8080/api/models/o/r/tree/main", "Bearer secret"},
        {"", "http://hub.test:8080/o/r/resolve/main/a.bin", std::nullopt},
        {"secret", "http://hub.test:9090/o/r/resolve/main/a.bin", std::nullopt},
        {"secret", "http://hub.test/o/r/resolve/main/a.bin", std::nullopt},
        {"secret", "https://hub.test:8080/o/r/resolve/main/a.bin", std::nullopt},
        {std::nullopt, "http://hub.test:8080/o/r/resolve/main/a.bin", std::nullopt},
        {"secret", "http://cdn.test/o/r/resolve/main/a.bin", std::nullopt},
        {"secret", "http://hub.test.evil.test:8080/a.bin", std::nullopt},
    };
    for (const auto& [token, url, expected] : cases) {
        ScopedEnvironment environment;
        environment.set("REGISTRY_URL", "http://hub.test:8080").set("HF_TOKEN", token);
        environment.set("HUGGING_FACE_HUB_TOKEN", std::nullopt).set("HUGGINGFACEHUB_API_TOKEN", std::nullopt);
        const auto request = HFClient::request(*Url::parse(url));
        EXPECT_EQ(request.headers.value("Authorization"), expected) << url;
        EXPECT_EQ(request.url.absoluteString(), url);
        EXPECT_EQ(request.method, "GET");
        EXPECT_EQ(request.timeout.count(), 60.0);
    }
}

// Reads the shared session twice, with the proxy variables changed in between: true when both reads give
// one session whose proxies are `expected`, those of the environment at the first read.
bool sessionIsMadeOnce(const std::optional<platform::net::ProxySettings>& expected) {
    const auto session = HFClient::session();
    setenv("https_proxy", "http://other.test:9090", 1);
    setenv("http_proxy", "http://plain.test:3128", 1);
    return HFClient::session() == session && session->configuration().proxies == expected;
}

// The session lives for the whole process, so each case runs in a child process.
TEST(HFClientDeathTest, SessionIsMadeOnceWithTheProxiesOfTheEnvironmentAtThatMoment) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    using platform::net::Proxy;
    using platform::net::ProxySettings;
    const ProxySettings httpsOnly{.https = Proxy{.host = "proxy.test", .port = 8080}, .http = std::nullopt};
    EXPECT_EXIT(
        {
            setenv("https_proxy", "http://proxy.test:8080", 1);
            setenv("http_proxy", "http://plain.test", 1);
            std::exit(sessionIsMadeOnce(httpsOnly) ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_EXIT(
        {
            unsetenv("https_proxy");
            unsetenv("http_proxy");
            std::exit(sessionIsMadeOnce(std::nullopt) ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

struct LinkCase {
    std::optional<std::string> link;
    std::optional<std::string> expected;
};

TEST(HFClient, NextPageIsTheLinkEntryWithTheNextRelationResolvedAgainstTheResponseURL) {
    const std::vector<LinkCase> cases = {
        {std::nullopt, std::nullopt},
        {R"(<http://hub.test/p1>; rel="prev", <http://hub.test/p3>; rel="next")", "http://hub.test/p3"},
        {"next, rel=next", std::nullopt},
        {R"(<http://hub.test/a,b>; rel="next")", "http://hub.test/a,b"},
        {"<http://hub.test/n>; REL=NEXT", "http://hub.test/n"},
        {R"(<http://hub.test/n>; rel="prev next")", "http://hub.test/n"},
        {R"(<http://hub.test/n>; title="x"; rel = next ; type="a")", std::nullopt},
        {R"(<http://hub.test/n>; title="x"; rel=	next	; type="a")", "http://hub.test/n"},
        {R"(<http://hub.test/n>; rel="nextpage")", std::nullopt},
        {"<http://hub.test/n>", std::nullopt},
        {R"(<http://hub.test/a b>; rel="next")", std::nullopt},
        {R"(<http://hub.test/n>; rel="next)", "http://hub.test/n"},
        {R"(</api/models/o/r/tree/main?cursor=2>; rel="next")", "http://hub.test/api/models/o/r/tree/main?cursor=2"},
        {R"(<?cursor=3>; rel="next")", "http://hub.test/api/models/o/r/tree/main?cursor=3"},
        {R"(<//other.test/page>; rel="next")", "http://other.test/page"},
        // An absolute target is taken as written; an empty one is no next page rather than this page again.
        {R"(<http://hub.test/a/../b>; rel="next")", "http://hub.test/a/../b"},
        {R"(<>; rel="next")", std::nullopt},
        // White space is trimmed around the relations, Unicode spaces included; other line breaks are not.
        {"<http://hub.test/n>; rel=\xC2\xA0next\xE3\x80\x80", "http://hub.test/n"},
        {"<http://hub.test/n>; rel=\vnext", std::nullopt},
    };
    for (const auto& [link, expected] : cases) {
        const auto next = HFClient::nextPageURL(responseWith("Link", link));
        EXPECT_EQ(next ? std::optional(next->absoluteString()) : std::nullopt, expected) << link.value_or("none");
    }
}

struct MarkupCase {
    std::string body;
    bool html;
};

TEST(HFClient, LooksLikeHTMLJudgesTheTrimmedStartOfTheFirst512Bytes) {
    const std::vector<MarkupCase> cases = {
        {"\n<!DOCTYPE HTML><html></html>", true},
        {"<?xml version=\"1.0\"?><Error/>", true},
        {" \t\r\n<HTML lang=en>", true},
        {"\xC2\xA0<html>", true},
        {"{\"error\":\"<html>\"}", false},
        {"[]", false},
        {"", false},
        {"<htm", false},
        {"<!doctype xml>", false},
        {"\xFF<html>", false},
        {std::string(512, ' ') + "<html>", false},
    };
    for (const auto& [body, html] : cases) {
        EXPECT_EQ(HFClient::looksLikeHTML(bytes(body)), html) << body;
    }
}

std::optional<std::string> jsonRejection(const std::string& body) {
    try {
        HFClient::validateJSONResponse(bytes(body), "Encoder.mlmodelc");
        return std::nullopt;
    } catch (const DownloadError& error) {
        EXPECT_EQ(error.kind(), DownloadError::Kind::htmlErrorResponse);
        EXPECT_EQ(error.path(), "Encoder.mlmodelc");
        return error.snippet();
    }
}

TEST(HFClient, ValidateJSONResponseRejectsMarkupWithASnippetOfTheFirst100Characters) {
    const std::string longMarkup = "<" + std::string(299, 'x');
    std::string accented = "<";
    for (int index = 0; index < 150; ++index) {
        accented += "\xC3\xA9";
    }
    // A cut inside the two bytes of "é" at the 512-byte limit makes the head invalid UTF-8.
    const std::string cutHTML = "<!DOCTYPE html>" + std::string(511 - 15, 'a') + "\xC3\xA9";
    const std::string cutJSON = "[" + std::string(510, ' ') + "\xC3\xA9]";

    EXPECT_EQ(jsonRejection(longMarkup), longMarkup.substr(0, 100));
    EXPECT_EQ(jsonRejection(accented), accented.substr(0, 1 + 99 * 2));
    EXPECT_EQ(jsonRejection("\n  <html><body>Too many requests</body></html>\n"),
              "<html><body>Too many requests</body></html>");
    std::string combined = "<";
    for (int index = 0; index < 150; ++index) {
        combined += "e\xCC\x81";
    }
    EXPECT_EQ(jsonRejection(combined), combined.substr(0, 1 + 99 * 3));
    // "<" with a combining long solidus is the single character "≮", not a "<".
    EXPECT_EQ(jsonRejection("<\xCC\xB8html>"), std::nullopt);
    EXPECT_EQ(jsonRejection(cutHTML), "");
    EXPECT_EQ(jsonRejection(cutJSON), std::nullopt);
    EXPECT_EQ(jsonRejection("[]"), std::nullopt);
    EXPECT_EQ(jsonRejection(""), std::nullopt);
    EXPECT_EQ(jsonRejection("not json at all"), std::nullopt);
}

struct RetryAfterCase {
    std::optional<std::string> value;
    std::optional<double> expected;
};

TEST(HFClient, RetryAfterReadsSecondsOrAnHTTPDate) {
    using namespace std::chrono;
    const auto now = sys_days(year(2024) / March / 1) + hours(12);
    const std::vector<RetryAfterCase> cases = {
        {std::nullopt, std::nullopt},
        {"120", 120.0},
        {"-5", 0.0},
        {"1.5", 1.5},
        {"+3", 3.0},
        {"2e1", 20.0},
        {"nan", 0.0},
        {" 120", std::nullopt},
        {"120 ", std::nullopt},
        {"Fri, 01 Mar 2024 12:00:10 GMT", 10.0},
        {"Fri, 01 Mar 2024 12:00:10 UTC", 10.0},
        {"Fri, 01 Mar 2024 11:59:00 GMT", 0.0},
        {"Fri, 01 Mar 2024 12:00:10", std::nullopt},
        {"Fri, 31 Feb 2024 12:00:10 GMT", std::nullopt},
        {"soon", std::nullopt},
        // Numbers beyond a double are still delays: a huge one is capped later like any long delay.
        {"1e999", std::numeric_limits<double>::max()},
        {"-1e999", 0.0},
        {"1e-999", 0.0},
        // Dates beyond the clock's range are held at its ends instead of overflowing it.
        {"Mon, 01 Jan 1600 00:00:00 GMT", 0.0},
        {"Fri, 31 Dec 9999 23:59:59 GMT",
         duration<double>(system_clock::time_point::max() - time_point_cast<system_clock::duration>(now)).count()},
    };
    for (const auto& [value, expected] : cases) {
        EXPECT_EQ(HFClient::retryAfter(responseWith("Retry-After", value), now), expected) << value.value_or("none");
    }
}

TEST(HttpDate, DatesBeyondTheClocksRangeAreHeldAtItsEnds) {
    using std::chrono::system_clock;
    EXPECT_EQ(parseHttpDate("Fri, 31 Dec 9999 23:59:59 GMT"), system_clock::time_point::max());
    EXPECT_EQ(parseHttpDate("Mon, 01 Jan 1600 00:00:00 GMT"), system_clock::time_point::min());
    EXPECT_EQ(parseHttpDate("Fri, 11 Apr 2262 23:47:16 GMT"), system_clock::time_point::max());
    EXPECT_EQ(parseHttpDate("Fri, 11 Apr 2262 23:47:15 GMT"),
              std::chrono::sys_days(std::chrono::year(2262) / std::chrono::April / 11) + std::chrono::hours(23) +
                  std::chrono::minutes(47) + std::chrono::seconds(15));
}

} // namespace
} // namespace quorl
