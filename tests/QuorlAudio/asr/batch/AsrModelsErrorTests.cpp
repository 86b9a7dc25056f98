#include "QuorlAudio/asr/batch/AsrModelsError.hpp"

#include <gtest/gtest.h>

#include <string>

namespace quorl {
namespace {

TEST(AsrModelsErrorTests, EachCaseHasItsFixedDescription) {
    using Kind = AsrModelsError::Kind;
    const struct {
        AsrModelsError error;
        Kind kind;
        std::string description;
    } cases[] = {
        {AsrModelsError::modelNotFound("parakeet_vocab.json", "/models/v3/parakeet_vocab.json"), Kind::modelNotFound,
         "ASR model 'parakeet_vocab.json' not found at: /models/v3/parakeet_vocab.json"},
        {AsrModelsError::downloadFailed("offline"), Kind::downloadFailed, "Failed to download ASR models: offline"},
        {AsrModelsError::loadingFailed("Failed to load decoder model"), Kind::loadingFailed,
         "Failed to load ASR models: Failed to load decoder model"},
        {AsrModelsError::modelCompilationFailed("bad bundle"), Kind::modelCompilationFailed,
         "Failed to compile ASR models: bad bundle. Try deleting the models and re-downloading."},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.error.kind(), c.kind) << c.description;
        EXPECT_EQ(std::string(c.error.what()), c.description);
    }
}

} // namespace
} // namespace quorl
