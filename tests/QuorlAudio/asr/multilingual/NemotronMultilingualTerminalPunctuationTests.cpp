#include "QuorlAudio/asr/multilingual/NemotronMultilingualTerminalPunctuation.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace quorl {
namespace {

TEST(NemotronMultilingualTerminalPunctuationTests, TidiesTheTextAsASentenceOfItsLanguage) {
    const struct {
        std::string text;
        std::optional<std::string> language;
        std::string tidied;
    } cases[] = {
        {"hello world", "en", "Hello world."},
        {"\u4f60\u597d", "zh-TW", "\u4f60\u597d\u3002"},
        {"\u3053\u3093\u306b\u3061\u306f", "ja_JP", "\u3053\u3093\u306b\u3061\u306f\u3002"},
        {"wow!", "en", "Wow!"},
        {"   ", "en", "   "},
        {"", std::nullopt, ""},
        {"\u4f60\u597d", std::nullopt, "\u4f60\u597d."},
        {"\u4f60\u597d", "ZH", "\u4f60\u597d."},
        {"and so\u2026", "en", "And so\u2026"},
        {" \n stra\u00dfe \t\n", "de", "Stra\u00dfe."},
        {"\u00dfa", "de", "SSa."},
        {"done\u3002", "en", "Done\u3002"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(tidyTerminalPunctuation(c.text, c.language), c.tidied) << c.text;
    }
}

} // namespace
} // namespace quorl
