#include "QuorlAudio/tts/pockettts/PocketTtsLanguage.hpp"

#include "QuorlAudio/tts/pockettts/PocketTTSError.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsConstants.hpp"

#include <gtest/gtest.h>

#include <string>

namespace quorl {
namespace {

TEST(PocketTtsLanguageTests, ReadsRawValuesExactly) {
    const struct {
        std::string rawValue;
        std::optional<PocketTtsLanguage> language;
    } cases[] = {
        {"english", PocketTtsLanguage::english},
        {"french_24l", PocketTtsLanguage::french24L},
        {"portuguese_24l", PocketTtsLanguage::portuguese24L},
        {"french", std::nullopt},
        {"English", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& testCase : cases) {
        EXPECT_EQ(platform::core::fromRawValue<PocketTtsLanguage>(testCase.rawValue), testCase.language)
            << testCase.rawValue;
    }
}

TEST(PocketTtsLanguageTests, GivesEveryPackItsFolderAndLayerCount) {
    const auto languages = platform::core::allCases<PocketTtsLanguage>();
    ASSERT_EQ(languages.size(), 10U);
    EXPECT_EQ(languages.front(), PocketTtsLanguage::english);
    EXPECT_EQ(languages.back(), PocketTtsLanguage::spanish24L);
    for (const auto language : languages) {
        const std::string raw(rawValue(language));
        EXPECT_EQ(platform::core::fromRawValue<PocketTtsLanguage>(raw), language);
        EXPECT_EQ(repoSubdirectory(language), "v2.1/" + raw);
        EXPECT_EQ(transformerLayers(language), raw.ends_with("_24l") ? 24 : 6) << raw;
    }
    EXPECT_EQ(repoSubdirectory(PocketTtsLanguage::spanish24L), "v2.1/spanish_24l");
    EXPECT_EQ(transformerLayers(PocketTtsLanguage::spanish24L), 24);
    EXPECT_EQ(repoSubdirectory(PocketTtsLanguage::portuguese), "v2.1/portuguese");
    EXPECT_EQ(transformerLayers(PocketTtsLanguage::portuguese), 6);
}

TEST(PocketTtsLanguageTests, ErrorsReadLikeTheFrontEndsAndStayTheirOwnType) {
    const struct {
        PocketTTSError error;
        std::string description;
    } cases[] = {
        {PocketTTSError::downloadFailed(""), "Download failed: "},
        {PocketTTSError::corruptedModel("x"), "Model x is corrupted"},
        {PocketTTSError::modelNotFound("PocketTTS model not initialized"),
         "Model PocketTTS model not initialized not found"},
        {PocketTTSError::processingFailed("no voice"), "Processing failed: no voice"},
    };
    for (const auto& testCase : cases) {
        EXPECT_EQ(std::string(testCase.error.what()), testCase.description);
    }
    EXPECT_EQ(PocketTTSError::corruptedModel("x").kind(), PocketTTSError::Kind::corruptedModel);
    EXPECT_EQ(PocketTTSError::corruptedModel("x").payload(), "x");
    EXPECT_FALSE((std::is_base_of_v<TTSError, PocketTTSError>));
}

TEST(PocketTtsLanguageTests, ConstantsHoldTheModelsNumbers) {
    EXPECT_EQ(PocketTtsConstants::audioSampleRate, 24000);
    EXPECT_EQ(PocketTtsConstants::samplesPerFrame, 1920);
    EXPECT_EQ(PocketTtsConstants::vocabSize, 4001);
    EXPECT_EQ(PocketTtsConstants::maxTokensPerChunk, 50);
    EXPECT_FLOAT_EQ(PocketTtsConstants::temperature, 0.7F);
    EXPECT_FLOAT_EQ(PocketTtsConstants::eosThreshold, -4.0F);
    EXPECT_EQ(PocketTtsConstants::defaultVoice, "alba");
    EXPECT_EQ(PocketTtsConstants::defaultModelsSubdirectory, "Models");
}

} // namespace
} // namespace quorl
