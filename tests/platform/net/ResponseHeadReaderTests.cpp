#include "platform/net/ResponseHeadReader.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using platform::net::ResponseHeadReader;

// Feeds the lines and returns the indices of those that completed the final head.
std::vector<std::size_t> finalLines(ResponseHeadReader& reader, const std::vector<std::string>& lines) {
    std::vector<std::size_t> completed;
    for (std::size_t index = 0; index < lines.size(); ++index) {
        if (reader.addLine(lines[index])) {
            completed.push_back(index);
        }
    }
    return completed;
}

TEST(ResponseHeadReader, SkipsInterimAndFollowedRedirectHeadsAndCombinesRepeatedFields) {
    ResponseHeadReader reader;
    const std::vector<std::string> lines = {
        "HTTP/1.1 100 Continue\r\n",
        "\r\n",
        "HTTP/1.1 302 Found\r\n",
        "Location: /elsewhere\r\n",
        "\r\n",
        "HTTP/2 200 \r\n",
        "Link: <https://h/a?cursor=1>; rel=\"prev\"\r\n",
        "link:   <https://h/a?cursor=3>; rel=\"next\"  \r\n",
        "X-Folded: first\r\n",
        "X-Stray: a\rb\r\n",
        "\t second\r\n",
        "\r\n",
        "X-Trailer: ignored\r\n",
    };

    EXPECT_EQ(finalLines(reader, lines), std::vector<std::size_t>{11});
    const auto& head = reader.lastHead();
    ASSERT_TRUE(head);
    EXPECT_EQ(head->statusCode, 200);
    EXPECT_EQ(head->headers.value("LINK"),
              "<https://h/a?cursor=1>; rel=\"prev\", <https://h/a?cursor=3>; rel=\"next\"");
    EXPECT_EQ(head->headers.value("x-folded"), "first second");
    EXPECT_FALSE(head->headers.value("X-Stray"));
    EXPECT_FALSE(head->headers.value("X-Trailer"));
    EXPECT_FALSE(head->headers.value("Location"));
}

TEST(ResponseHeadReader, ARedirectWithoutATargetIsFinal) {
    ResponseHeadReader reader;
    EXPECT_EQ(finalLines(reader, {"HTTP/1.1 304 Not Modified\r\n", "ETag: \"v1\"\r\n", "\r\n"}),
              std::vector<std::size_t>{2});
    EXPECT_EQ(reader.lastHead()->statusCode, 304);
}

} // namespace
