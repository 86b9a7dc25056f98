#include "QuorlAudio/tts/frontend/SSMLTagParser.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quorl {
namespace {

TEST(SSMLTagParserTests, FindsTheElementsLastFirstWithTheirRangesAndDefaults) {
    const std::string text = "<say-as interpret-as=\"date\">1/2/2020</say-as> <sub alias='a'>b</sub>"
                             " <phoneme ph=\"x\">y</phoneme>";
    const std::vector<SSMLParsedTag> tags = SSMLTagParser::parse(text);
    const std::vector<SSMLParsedTag> expected{
        {.type = SSMLParsedTag::Phoneme{.alphabet = "ipa", .ph = "x", .content = "y"}, .range = {69, 96}},
        {.type = SSMLParsedTag::Sub{.alias = "a", .content = "b"}, .range = {46, 68}},
        {.type = SSMLParsedTag::SayAs{.interpretAs = "date", .format = std::nullopt, .content = "1/2/2020"},
         .range = {0, 45}},
    };
    EXPECT_EQ(tags, expected);
}

TEST(SSMLTagParserTests, ReadsAttributesInAnyCaseAndOnlyAsWholeNames) {
    const std::vector<SSMLParsedTag> tags =
        SSMLTagParser::parse("<phoneme graph=\"no\" Alphabet = 'x-sampa' PH=\"t@\">a</phoneme>"
                             "<say-as FORMAT='dmy' interpret-as=''>b</say-as>");
    ASSERT_EQ(tags.size(), 2u);
    EXPECT_EQ(tags[0].type,
              (SSMLParsedTag::TagType{SSMLParsedTag::SayAs{.interpretAs = "", .format = "dmy", .content = "b"}}));
    EXPECT_EQ(tags[1].type,
              (SSMLParsedTag::TagType{SSMLParsedTag::Phoneme{.alphabet = "x-sampa", .ph = "t@", .content = "a"}}));
}

} // namespace
} // namespace quorl
