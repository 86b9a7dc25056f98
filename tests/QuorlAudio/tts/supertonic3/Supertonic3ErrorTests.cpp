#include "QuorlAudio/tts/supertonic3/Supertonic3Constants.hpp"
#include "QuorlAudio/tts/supertonic3/Supertonic3Error.hpp"

#include <gtest/gtest.h>

#include <string>

namespace quorl {
namespace {

using Kind = Supertonic3Error::Kind;

TEST(Supertonic3ErrorTests, DescribesEveryCaseExactly) {
    const struct {
        Supertonic3Error error;
        Kind kind;
        std::string text;
    } cases[] = {
        {Supertonic3Error::modelFileNotFound("vocoder.mlmodelc"), Kind::modelFileNotFound,
         "Supertonic3 model file not found: vocoder.mlmodelc"},
        {Supertonic3Error::corruptedModel("vocoder.mlmodelc", "bad header"), Kind::corruptedModel,
         "Supertonic3 model appears corrupted: vocoder.mlmodelc (bad header)"},
        {Supertonic3Error::downloadFailed("offline"), Kind::downloadFailed, "Supertonic3 download failed: offline"},
        {Supertonic3Error::voiceStyleLoadFailed("/v/M1.json", "not JSON"), Kind::voiceStyleLoadFailed,
         "Supertonic3 voice style load failed at /v/M1.json: not JSON"},
        {Supertonic3Error::voiceStyleShapeMismatch("style_ttl", {1, 50, 256}, {1, 49, 256}),
         Kind::voiceStyleShapeMismatch,
         "Supertonic3 voice style style_ttl shape mismatch: expected [1, 50, 256], got [1, 49, 256]"},
        {Supertonic3Error::voiceStyleShapeMismatch("style_dp", {1, 8, 16}, {}), Kind::voiceStyleShapeMismatch,
         "Supertonic3 voice style style_dp shape mismatch: expected [1, 8, 16], got []"},
        {Supertonic3Error::unicodeIndexerLoadFailed("missing"), Kind::unicodeIndexerLoadFailed,
         "Supertonic3 unicode_indexer.json load failed: missing"},
        {Supertonic3Error::configLoadFailed("missing key"), Kind::configLoadFailed,
         "Supertonic3 tts.json load failed: missing key"},
        {Supertonic3Error::textTooLong(71, 70), Kind::textTooLong,
         "Supertonic3 input chunk has 71 chars; max chunk length is 70."},
        {Supertonic3Error::inferenceFailed("duration", "no memory"), Kind::inferenceFailed,
         "Supertonic3 duration inference failed: no memory"},
        {Supertonic3Error::invalidTensorShape("vocoder", "[1, 144, 8]", "[1, 144]"), Kind::invalidTensorShape,
         "Supertonic3 vocoder tensor shape mismatch: expected [1, 144, 8], got [1, 144]"},
        {Supertonic3Error::notInitialized(), Kind::notInitialized,
         "Supertonic3 manager has not been initialized. Call initialize() first."},
        {Supertonic3Error::emptyText(), Kind::emptyText, "Supertonic3 received empty text after normalization."},
    };
    for (const auto& entry : cases) {
        EXPECT_EQ(entry.error.kind(), entry.kind) << entry.text;
        EXPECT_EQ(std::string(entry.error.what()), entry.text);
    }
}

TEST(Supertonic3ErrorTests, UnsupportedLanguageListsTheThirtyTwoCodesInOrder) {
    const auto error = Supertonic3Error::unsupportedLanguage("EN");
    EXPECT_EQ(error.kind(), Kind::unsupportedLanguage);
    EXPECT_EQ(std::string(error.what()),
              "Supertonic3 unsupported language 'EN'. Available: en, ko, ja, ar, bg, cs, da, de, el, es, et, fi, fr, "
              "hi, hr, hu, id, it, lt, lv, nl, pl, pt, ro, ru, sk, sl, sv, tr, uk, vi, na");
}

} // namespace
} // namespace quorl
