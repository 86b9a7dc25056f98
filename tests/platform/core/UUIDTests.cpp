#include "platform/core/UUID.hpp"

#include <gtest/gtest.h>

#include <string>
#include <unordered_set>

namespace platform::core {
namespace {

bool isUpperHexDigit(char character) {
    return (character >= '0' && character <= '9') || (character >= 'A' && character <= 'F');
}

TEST(UUIDTests, RandomIdentifiersAreVersionFourInUpperCaseText) {
    const std::string text = UUID::random().uuidString();
    ASSERT_EQ(text.size(), 36u);
    for (std::size_t index = 0; index < text.size(); ++index) {
        if (index == 8 || index == 13 || index == 18 || index == 23) {
            EXPECT_EQ(text[index], '-') << text;
        } else {
            EXPECT_TRUE(isUpperHexDigit(text[index])) << text;
        }
    }
    EXPECT_EQ(text[14], '4') << text;
    EXPECT_NE(std::string("89AB").find(text[19]), std::string::npos) << text;
}

TEST(UUIDTests, RandomIdentifiersDiffer) {
    std::unordered_set<UUID> seen;
    for (int count = 0; count < 1000; ++count) {
        EXPECT_TRUE(seen.insert(UUID::random()).second);
    }
}

TEST(UUIDTests, TextReadsBackAsTheSameIdentifier) {
    const UUID original = UUID::random();
    const auto parsed = UUID::fromString(original.uuidString());
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(*parsed, original);
    EXPECT_EQ(std::hash<UUID>{}(*parsed), std::hash<UUID>{}(original));
}

TEST(UUIDTests, LowerCaseDigitsAreReadAndWrittenBackInUpperCase) {
    const auto parsed = UUID::fromString("e621e1f8-c36c-495a-93fc-0c247a3e6e5f");
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(parsed->uuidString(), "E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
    EXPECT_EQ(parsed->bytes()[0], 0xE6);
    EXPECT_EQ(parsed->bytes()[15], 0x5F);
}

TEST(UUIDTests, MalformedTextIsRefused) {
    for (const char* text : {
             "",
             "E621E1F8-C36C-495A-93FC-0C247A3E6E5",
             "E621E1F8-C36C-495A-93FC-0C247A3E6E5F0",
             "E621E1F8C36C-495A-93FC-0C247A3E6E5F0",
             "E621E1F8-C36C-495A-93FC-0C247A3E6E5G",
             "E621E1F8-C36C-495A-93FC+0C247A3E6E5F",
             "{621E1F8-C36C-495A-93FC-0C247A3E6E5F",
         }) {
        EXPECT_FALSE(UUID::fromString(text).has_value()) << text;
    }
}

TEST(UUIDTests, TheDefaultIdentifierIsNil) {
    EXPECT_EQ(UUID().uuidString(), "00000000-0000-0000-0000-000000000000");
    EXPECT_NE(UUID(), UUID::random());
}

} // namespace
} // namespace platform::core
