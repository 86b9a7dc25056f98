#include "QuorlAudio/tts/styletts2/StyleTTS2Constants.hpp"
#include "QuorlAudio/tts/styletts2/StyleTTS2Error.hpp"

#include <gtest/gtest.h>

#include <string>

namespace quorl {
namespace {

using Kind = StyleTTS2Error::Kind;

TEST(StyleTTS2ErrorTests, DescribesEveryCaseExactly) {
    const struct {
        StyleTTS2Error error;
        Kind kind;
        std::string text;
    } cases[] = {
        {StyleTTS2Error::modelFileNotFound("bert_fp16.mlmodelc"), Kind::modelFileNotFound,
         "StyleTTS2 model file not found: bert_fp16.mlmodelc"},
        {StyleTTS2Error::corruptedModel("bert_fp16.mlmodelc", "bad header"), Kind::corruptedModel,
         "StyleTTS2 model appears corrupted: bert_fp16.mlmodelc (bad header)"},
        {StyleTTS2Error::downloadFailed("offline"), Kind::downloadFailed, "StyleTTS2 download failed: offline"},
        {StyleTTS2Error::unsupportedReferenceAudio("no audio"), Kind::unsupportedReferenceAudio,
         "StyleTTS2 reference audio could not be loaded: no audio"},
        {StyleTTS2Error::textTooLong(300, 256), Kind::textTooLong,
         "Text produced 300 tokens; StyleTTS2 max bucket holds 256."},
        {StyleTTS2Error::noBucketAvailable(300), Kind::noBucketAvailable,
         "No StyleTTS2 token-axis bucket fits 300 tokens (max bucket = 256)."},
        {StyleTTS2Error::phonemizationFailed("empty"), Kind::phonemizationFailed,
         "StyleTTS2 phonemization failed: empty"},
        {StyleTTS2Error::inferenceFailed("bert", "no output value"), Kind::inferenceFailed,
         "StyleTTS2 bert inference failed: no output value"},
        {StyleTTS2Error::invalidTensorShape("bert.d_en", "[1, C, 57]", "[1, 8]"), Kind::invalidTensorShape,
         "StyleTTS2 bert.d_en tensor shape mismatch: expected [1, C, 57], got [1, 8]"},
        {StyleTTS2Error::notInitialized(), Kind::notInitialized,
         "StyleTTS2 manager has not been initialized. Call initialize() first."},
    };
    for (const auto& entry : cases) {
        EXPECT_EQ(entry.error.kind(), entry.kind) << entry.text;
        EXPECT_EQ(std::string(entry.error.what()), entry.text);
    }
}

TEST(StyleTTS2ErrorTests, ThePhonemeChunkLeavesThePadPositionOfTheLargestBucket) {
    EXPECT_EQ(StyleTTS2Constants::largestBucket, 256);
    EXPECT_EQ(StyleTTS2Constants::maxPhonemeChunkChars, 255);
}

} // namespace
} // namespace quorl
