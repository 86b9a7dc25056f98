#include "QuorlAudio/foundation/Language.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quorl {
namespace {

TEST(LanguageTests, EveryLanguageHasItsCodeAndScriptInDeclarationOrder) {
    const struct {
        Language language;
        std::string rawValue;
        Script script;
    } rows[] = {
        {Language::english, "en", Script::latin},       {Language::spanish, "es", Script::latin},
        {Language::french, "fr", Script::latin},        {Language::german, "de", Script::latin},
        {Language::italian, "it", Script::latin},       {Language::portuguese, "pt", Script::latin},
        {Language::romanian, "ro", Script::latin},      {Language::dutch, "nl", Script::latin},
        {Language::danish, "da", Script::latin},        {Language::swedish, "sv", Script::latin},
        {Language::finnish, "fi", Script::latin},       {Language::hungarian, "hu", Script::latin},
        {Language::estonian, "et", Script::latin},      {Language::latvian, "lv", Script::latin},
        {Language::lithuanian, "lt", Script::latin},    {Language::maltese, "mt", Script::latin},
        {Language::polish, "pl", Script::latin},        {Language::czech, "cs", Script::latin},
        {Language::slovak, "sk", Script::latin},        {Language::slovenian, "sl", Script::latin},
        {Language::croatian, "hr", Script::latin},      {Language::bosnian, "bs", Script::latin},
        {Language::russian, "ru", Script::cyrillic},    {Language::ukrainian, "uk", Script::cyrillic},
        {Language::belarusian, "be", Script::cyrillic}, {Language::bulgarian, "bg", Script::cyrillic},
        {Language::serbian, "sr", Script::cyrillic},    {Language::greek, "el", Script::greek},
    };
    const auto cases = platform::core::allCases<Language>();
    ASSERT_EQ(cases.size(), std::size(rows));
    for (std::size_t index = 0; index < cases.size(); ++index) {
        const auto& row = rows[index];
        EXPECT_EQ(cases[index], row.language) << row.rawValue;
        EXPECT_EQ(rawValue(row.language), row.rawValue);
        EXPECT_EQ(script(row.language), row.script) << row.rawValue;
        EXPECT_EQ(platform::core::fromRawValue<Language>(row.rawValue), row.language);
    }
}

TEST(LanguageTests, FromRawValueIsExactAndCaseSensitive) {
    for (const std::string text : {"EN", "En", "en ", "eng", "", "gr"}) {
        EXPECT_EQ(platform::core::fromRawValue<Language>(text), std::nullopt) << text;
    }
}

} // namespace
} // namespace quorl
