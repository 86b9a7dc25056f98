#include "platform/text/WordCharacters.hpp"

#include <gtest/gtest.h>

#include <string>

namespace platform::text {
namespace {

TEST(WordCharactersTests, KeepsLettersNumbersAndUnderscoresOnly) {
    const struct {
        std::string text;
        std::string kept;
    } cases[] = {
        {"af_heart", "af_heart"}, {"al-b!a", "alba"}, {"../..//", ""}, {"\u00E9mile 2\u00BD", "\u00E9mile2\u00BD"},
        {"e\u0301", "e\u0301"},   {"", ""},
    };
    for (const auto& testCase : cases) {
        EXPECT_EQ(keepingWordCharacters(testCase.text), testCase.kept) << testCase.text;
    }
}

} // namespace
} // namespace platform::text
