#include "QuorlAudio/asr/batch/ASRError.hpp"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace quorl {
namespace {

std::exception_ptr failure(const std::string& description) {
    return std::make_exception_ptr(std::runtime_error(description));
}

TEST(ASRErrorTests, EachCaseHasItsFixedDescription) {
    using Kind = ASRError::Kind;
    const struct {
        ASRError error;
        Kind kind;
        std::string description;
    } cases[] = {
        {ASRError::processingFailed("no frames"), Kind::processingFailed, "ASR processing failed: no frames"},
        {ASRError::unsupportedPlatform("Needs a neural engine"), Kind::unsupportedPlatform, "Needs a neural engine"},
        {ASRError::streamingConversionFailed(failure("bad rate")), Kind::streamingConversionFailed,
         "Streaming audio conversion failed: bad rate"},
        {ASRError::fileAccessFailed("/tmp/a.wav", failure("Permission denied")), Kind::fileAccessFailed,
         "Failed to access audio file at /tmp/a.wav: Permission denied"},
        {ASRError::encoderInstantiationFailed("out of memory"), Kind::encoderInstantiationFailed,
         "Encoder ANE program failed to instantiate: out of memory"},
        {ASRError::notInitialized(), Kind::notInitialized, "AsrManager not initialized. Call initialize() first."},
        {ASRError::invalidAudioData(), Kind::invalidAudioData,
         "Invalid audio data provided. Must be at least 300ms of 16kHz audio."},
        {ASRError::modelLoadFailed(), Kind::modelLoadFailed, "Failed to load Parakeet CoreML models."},
        {ASRError::modelCompilationFailed(), Kind::modelCompilationFailed,
         "CoreML model compilation failed after recovery attempts."},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.error.kind(), c.kind) << c.description;
        EXPECT_EQ(std::string(c.error.what()), c.description);
    }
}

TEST(ASRErrorTests, FileAccessFailedKeepsTheFileAndTheUnderlyingError) {
    const std::exception_ptr underlying = failure("gone");
    try {
        throw ASRError::fileAccessFailed("/data/talk.wav", underlying);
    } catch (const platform::core::Error& error) {
        const auto* asrError = dynamic_cast<const ASRError*>(&error);
        ASSERT_NE(asrError, nullptr);
        EXPECT_EQ(asrError->url(), "/data/talk.wav");
        EXPECT_EQ(asrError->underlying(), underlying);
    }
}

TEST(ASRErrorTests, MessageCasesKeepTheirMessage) {
    EXPECT_EQ(ASRError::processingFailed("x").message(), "x");
    EXPECT_EQ(ASRError::unsupportedPlatform("y").message(), "y");
    EXPECT_EQ(ASRError::encoderInstantiationFailed("z").message(), "z");
}

} // namespace
} // namespace quorl
