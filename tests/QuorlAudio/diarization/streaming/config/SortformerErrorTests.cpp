#include "QuorlAudio/diarization/streaming/config/SortformerError.hpp"

#include <gtest/gtest.h>

#include <string>

namespace quorl {
namespace {

TEST(SortformerErrorTests, EachCaseHasItsFixedDescriptionAndKeepsItsDetail) {
    using Kind = SortformerError::Kind;
    const struct {
        SortformerError error;
        Kind kind;
        std::string description;
        std::string detail;
    } cases[] = {
        {SortformerError::modelLoadFailed("x"), Kind::modelLoadFailed, "Failed to load Sortformer model: x", "x"},
        {SortformerError::preprocessorFailed("x"), Kind::preprocessorFailed, "Preprocessor failed: x", "x"},
        {SortformerError::inferenceFailed("x"), Kind::inferenceFailed, "Inference failed: x", "x"},
        {SortformerError::invalidState("x"), Kind::invalidState, "Invalid state: x", "x"},
        {SortformerError::configurationError("x"), Kind::configurationError, "Configuration error: x", "x"},
        {SortformerError::insufficientChunkLength("x"), Kind::insufficientChunkLength, "Insufficient chunk length: x",
         "x"},
        {SortformerError::insufficientPredsLength("x"), Kind::insufficientPredsLength, "Insufficient preds length: x",
         "x"},
        {SortformerError::notInitialized(), Kind::notInitialized,
         "Sortformer diarizer not initialized. Call initialize() first.", ""},
        {SortformerError::invalidAudioData(), Kind::invalidAudioData, "Invalid audio data provided.", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.error.kind(), c.kind) << c.description;
        EXPECT_EQ(std::string(c.error.what()), c.description);
        EXPECT_EQ(c.error.detail(), c.detail) << c.description;
    }
}

} // namespace
} // namespace quorl
