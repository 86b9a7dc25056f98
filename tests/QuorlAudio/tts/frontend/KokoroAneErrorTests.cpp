#include "QuorlAudio/tts/frontend/KokoroAneConstants.hpp"
#include "QuorlAudio/tts/frontend/KokoroAneError.hpp"
#include "QuorlAudio/tts/frontend/KokoroAneVariant.hpp"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace quorl {
namespace {

using Kind = KokoroAneError::Kind;

TEST(KokoroAneErrorTests, DescribesEveryCaseExactly) {
    const auto underlying = std::make_exception_ptr(std::runtime_error("no memory"));
    const struct {
        KokoroAneError error;
        Kind kind;
        std::string text;
    } cases[] = {
        {KokoroAneError::modelNotLoaded("KokoroAlbert"), Kind::modelNotLoaded,
         "KokoroAne model 'KokoroAlbert' not loaded. Call initialize() first."},
        {KokoroAneError::downloadFailed("Invalid voice name: .."), Kind::downloadFailed,
         "KokoroAne download failed: Invalid voice name: .."},
        {KokoroAneError::vocabMissing("/tmp/v/vocab.json"), Kind::vocabMissing,
         "KokoroAne vocab.json not found at /tmp/v/vocab.json."},
        {KokoroAneError::vocabParseFailed("/tmp/v/vocab.json", "not an object"), Kind::vocabParseFailed,
         "KokoroAne vocab.json at /tmp/v/vocab.json is malformed: not an object"},
        {KokoroAneError::voicePackMissing("/tmp/v/af.bin"), Kind::voicePackMissing,
         "KokoroAne voice pack not found at /tmp/v/af.bin."},
        {KokoroAneError::invalidVoicePack("short"), Kind::invalidVoicePack, "KokoroAne voice pack is invalid: short"},
        {KokoroAneError::phonemeSequenceTooLong(600), Kind::phonemeSequenceTooLong,
         "KokoroAne phoneme sequence has 600 characters (max 510)."},
        {KokoroAneError::inputProcessingFailed("empty"), Kind::inputProcessingFailed,
         "KokoroAne input processing failed: empty"},
        {KokoroAneError::acousticFramesExceedCap(2100, 2000), Kind::acousticFramesExceedCap,
         "KokoroAne PostAlbert produced T_a=2100 frames > MAX_FRAMES=2000. Chunk the input."},
        {KokoroAneError::predictionFailed("vocoder", underlying), Kind::predictionFailed,
         "KokoroAne stage 'vocoder' failed: no memory"},
        {KokoroAneError::unexpectedOutputShape("vocoder", "1x1xN", "1xN"), Kind::unexpectedOutputShape,
         "KokoroAne stage 'vocoder' returned unexpected shape (expected 1x1xN, got 1xN)."},
        {KokoroAneError::audioConversionFailed("rate"), Kind::audioConversionFailed,
         "KokoroAne audio conversion failed: rate"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.error.what(), c.text);
        EXPECT_EQ(c.error.kind(), c.kind) << c.text;
    }
    EXPECT_EQ(cases[9].error.underlying(), underlying);
}

TEST(KokoroAneVariantTests, RawValuesRepositoriesAndVoices) {
    using platform::core::fromRawValue;
    const struct {
        KokoroAneVariant variant;
        std::string rawValue;
        Repo repo;
        std::string_view voice;
        bool voicesSubdir;
    } rows[] = {
        {KokoroAneVariant::english, "english", Repo::kokoroAne, KokoroAneConstants::defaultVoice, false},
        {KokoroAneVariant::mandarin, "mandarin", Repo::kokoroAneZh, KokoroAneConstants::defaultVoiceMandarin, true},
        {KokoroAneVariant::japanese, "japanese", Repo::kokoroAneJa, KokoroAneConstants::defaultVoiceJapanese, true},
    };
    std::vector<KokoroAneVariant> order;
    for (const auto& row : rows) {
        EXPECT_EQ(rawValue(row.variant), row.rawValue);
        EXPECT_EQ(fromRawValue<KokoroAneVariant>(row.rawValue), row.variant);
        EXPECT_EQ(repo(row.variant), row.repo);
        EXPECT_EQ(defaultVoice(row.variant), row.voice);
        EXPECT_EQ(useVoicesSubdir(row.variant), row.voicesSubdir);
        order.push_back(row.variant);
    }
    const auto all = platform::core::allCases<KokoroAneVariant>();
    EXPECT_EQ(std::vector<KokoroAneVariant>(all.begin(), all.end()), order);
    EXPECT_EQ(fromRawValue<KokoroAneVariant>("English"), std::nullopt);
    EXPECT_EQ(fromRawValue<KokoroAneVariant>(""), std::nullopt);
    EXPECT_EQ(KokoroAneConstants::maxInputTokens, KokoroAneConstants::maxPhonemeLength + 2);
}

} // namespace
} // namespace quorl
