#include "QuorlAudio/asr/other/CohereAsrConfig.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quorl {
namespace {

using Config = CohereAsrConfig;
using Language = Config::Language;
using platform::core::allCases;
using platform::core::fromRawValue;

TEST(CohereAsrConfigTests, LanguageTableIsExactAndInDeclarationOrder) {
    const struct {
        Language language;
        std::string rawValue;
        std::string englishName;
        int tokenId;
    } table[] = {
        {Language::english, "en", "English", 62},
        {Language::french, "fr", "French", 69},
        {Language::german, "de", "German", 76},
        {Language::spanish, "es", "Spanish", 169},
        {Language::italian, "it", "Italian", 97},
        {Language::portuguese, "pt", "Portuguese", 149},
        {Language::dutch, "nl", "Dutch", 60},
        {Language::polish, "pl", "Polish", 148},
        {Language::greek, "el", "Greek", 77},
        {Language::arabic, "ar", "Arabic", 28},
        {Language::japanese, "ja", "Japanese", 98},
        {Language::chinese, "zh", "Chinese", 50},
        {Language::vietnamese, "vi", "Vietnamese", 194},
        {Language::korean, "ko", "Korean", 110},
    };
    const auto cases = allCases<Language>();
    ASSERT_EQ(cases.size(), std::size(table));
    for (std::size_t index = 0; index < cases.size(); ++index) {
        const auto& row = table[index];
        SCOPED_TRACE(row.rawValue);
        EXPECT_EQ(cases[index], row.language);
        EXPECT_EQ(rawValue(row.language), row.rawValue);
        EXPECT_EQ(englishName(row.language), row.englishName);
        EXPECT_EQ(tokenId(row.language), row.tokenId);
        EXPECT_EQ(fromRawValue<Language>(row.rawValue), row.language);
    }
}

TEST(CohereAsrConfigTests, OnlyExactLowerCaseCodesNameALanguage) {
    EXPECT_EQ(fromRawValue<Language>("ko"), Language::korean);
    for (const std::string code : {"KO", "Ko", "", "kor", "k", "en "}) {
        EXPECT_EQ(fromRawValue<Language>(code), std::nullopt) << '"' << code << '"';
    }
}

TEST(CohereAsrConfigTests, PromptNamesTheLanguageTwiceAmongFixedTokens) {
    EXPECT_EQ(promptSequence(Language::korean), (std::vector<int>{13764, 7, 4, 16, 110, 110, 5, 9, 11, 13}));
    EXPECT_EQ(promptSequence(Language::arabic), (std::vector<int>{13764, 7, 4, 16, 28, 28, 5, 9, 11, 13}));
    for (const auto language : allCases<Language>()) {
        auto first = promptSequence(language);
        const auto second = promptSequence(language);
        ASSERT_EQ(first.size(), 10u);
        EXPECT_EQ(first, second);
        first[4] = 0;
        EXPECT_EQ(second[4], tokenId(language)) << "each prompt is a new list";
    }
}

TEST(CohereAsrConfigTests, ConstantsAgreeWithOneAnother) {
    EXPECT_EQ(static_cast<float>(Config::maxSamples), Config::maxAudioSeconds * Config::sampleRate);
    EXPECT_EQ(Config::chunkHopSeconds + Config::chunkOverlapSeconds, Config::maxAudioSeconds);
    EXPECT_EQ(Config::maxAudioSeconds * Config::sampleRate / Config::MelSpec::hopLength, 3500.0f);
    EXPECT_EQ(Config::numDecoderHeads * Config::headDim, Config::decoderHiddenSize);
    EXPECT_EQ(Config::MelSpec::nMels, Config::numMelBins);
}

TEST(CohereAsrConfigTests, SpecialTokenIdsAreFixed) {
    using Tokens = Config::SpecialTokens;
    const std::vector<int> ids{Tokens::unkToken,       Tokens::noSpeechToken, Tokens::padToken,
                               Tokens::eosToken,       Tokens::startToken,    Tokens::pnc,
                               Tokens::startOfContext, Tokens::noitn,         Tokens::notimestamp,
                               Tokens::nodiarize,      Tokens::emoUndefined,  Tokens::wordBoundary};
    EXPECT_EQ(ids, (std::vector<int>{0, 1, 2, 3, 4, 5, 7, 9, 11, 13, 16, 13764}));
}

} // namespace
} // namespace quorl
