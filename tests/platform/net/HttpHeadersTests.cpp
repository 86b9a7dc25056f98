#include "platform/net/HttpHeaders.hpp"
#include "platform/net/Response.hpp"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string_view>

namespace {

using platform::net::HttpHeaders;
using platform::net::Response;

TEST(HttpHeaders, NamesIgnoreLetterCaseAndSetReplacesEveryEarlierField) {
    HttpHeaders headers;
    headers.set("Content-Type", "text/plain");
    headers.set("ETag", "\"v1\"");
    headers.set("content-TYPE", "application/json");

    EXPECT_EQ(headers.value("CONTENT-type"), "application/json");
    EXPECT_EQ(headers.value("etag"), "\"v1\"");
    EXPECT_EQ(headers.fields().size(), 2u);
    EXPECT_FALSE(headers.value("Range"));

    headers.remove("ETAG");
    EXPECT_FALSE(headers.value("ETag"));
    EXPECT_EQ(headers.fields().size(), 1u);
}

TEST(HttpHeaders, RefusesLineBreaksThatWouldInjectHeaderLines) {
    HttpHeaders headers;
    EXPECT_THROW(headers.set("Authorization", "Bearer x\r\nX-Injected: 1"), std::invalid_argument);
    EXPECT_THROW(headers.set("X-A\nB", "v"), std::invalid_argument);
    EXPECT_THROW(headers.set("X-Nul", std::string_view("a\0b", 3)), std::invalid_argument);
    EXPECT_TRUE(headers.fields().empty());
}

TEST(Response, ExpectedContentLengthReadsTheHeaderOrGivesMinusOne) {
    const std::pair<std::optional<std::string>, std::int64_t> cases[] = {
        {"1234", 1234}, {"0", 0}, {std::nullopt, -1}, {"", -1}, {"-5", -1}, {"12abc", -1}, {"99999999999999999999", -1},
    };
    for (const auto& [value, expected] : cases) {
        Response response;
        if (value) {
            response.headers.set("content-length", *value);
        }
        EXPECT_EQ(response.expectedContentLength(), expected) << value.value_or("(absent)");
    }
}

} // namespace
