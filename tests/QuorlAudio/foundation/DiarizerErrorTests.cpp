#include "QuorlAudio/foundation/DiarizerError.hpp"

#include <gtest/gtest.h>

#include <string>

namespace quorl {
namespace {

TEST(DiarizerErrorTests, EachCaseHasItsFixedDescription) {
    using Kind = DiarizerError::Kind;
    const struct {
        DiarizerError error;
        Kind kind;
        std::string description;
    } cases[] = {
        {DiarizerError::processingFailed("segmentation stalled"), Kind::processingFailed,
         "Processing failed: segmentation stalled"},
        {DiarizerError::processingFailed(""), Kind::processingFailed, "Processing failed: "},
        {DiarizerError::notInitialized(), Kind::notInitialized,
         "Diarization system not initialized. Call initialize() first."},
        {DiarizerError::modelDownloadFailed(), Kind::modelDownloadFailed, "Failed to download required models."},
        {DiarizerError::modelCompilationFailed(), Kind::modelCompilationFailed, "Failed to compile CoreML models."},
        {DiarizerError::embeddingExtractionFailed(), Kind::embeddingExtractionFailed,
         "Failed to extract speaker embedding from audio."},
        {DiarizerError::invalidAudioData(), Kind::invalidAudioData, "Invalid audio data provided."},
        {DiarizerError::memoryAllocationFailed(), Kind::memoryAllocationFailed,
         "Failed to allocate ANE-aligned memory."},
        {DiarizerError::invalidArrayBounds(), Kind::invalidArrayBounds, "Array bounds exceeded for zero-copy view."},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.error.kind(), c.kind) << c.description;
        EXPECT_EQ(std::string(c.error.what()), c.description);
    }
}

TEST(DiarizerErrorTests, ProcessingFailedKeepsItsMessageAndIsCaughtAsAPlatformError) {
    try {
        throw DiarizerError::processingFailed("no speech");
    } catch (const platform::core::Error& error) {
        const auto* diarizerError = dynamic_cast<const DiarizerError*>(&error);
        ASSERT_NE(diarizerError, nullptr);
        EXPECT_EQ(diarizerError->message(), "no speech");
    }
}

} // namespace
} // namespace quorl
