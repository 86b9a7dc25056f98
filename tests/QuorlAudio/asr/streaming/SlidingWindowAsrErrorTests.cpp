#include "QuorlAudio/asr/streaming/SlidingWindowAsrError.hpp"

#include "QuorlAudio/foundation/AudioSource.hpp"

#include <gtest/gtest.h>

#include <exception>
#include <stdexcept>
#include <string>

namespace quorl {
namespace {

using Kind = SlidingWindowAsrError::Kind;

std::exception_ptr failure(const std::string& description) {
    return std::make_exception_ptr(std::runtime_error(description));
}

TEST(SlidingWindowAsrErrorTests, EachCaseHasItsFixedDescription) {
    const struct {
        SlidingWindowAsrError error;
        Kind kind;
        std::string description;
    } cases[] = {
        {SlidingWindowAsrError::streamAlreadyExists(AudioSource::system), Kind::streamAlreadyExists,
         "A stream already exists for source: system"},
        {SlidingWindowAsrError::streamAlreadyExists(AudioSource::microphone), Kind::streamAlreadyExists,
         "A stream already exists for source: microphone"},
        {SlidingWindowAsrError::audioBufferProcessingFailed(failure("no converter")), Kind::audioBufferProcessingFailed,
         "Audio buffer processing failed: no converter"},
        {SlidingWindowAsrError::audioConversionFailed(failure("bad rate")), Kind::audioConversionFailed,
         "Audio conversion failed: bad rate"},
        {SlidingWindowAsrError::modelProcessingFailed(failure("encoder crashed")), Kind::modelProcessingFailed,
         "Model processing failed: encoder crashed"},
        {SlidingWindowAsrError::invalidConfiguration("window too long"), Kind::invalidConfiguration,
         "Invalid configuration: window too long"},
        {SlidingWindowAsrError::modelsNotLoaded(), Kind::modelsNotLoaded, "ASR models have not been loaded"},
        {SlidingWindowAsrError::bufferOverflow(), Kind::bufferOverflow, "Audio buffer overflow occurred"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.error.kind(), c.kind) << c.description;
        EXPECT_EQ(std::string(c.error.what()), c.description);
    }
}

TEST(SlidingWindowAsrErrorTests, CasesKeepTheirPayloads) {
    const std::exception_ptr underlying = failure("gone");
    const auto wrapping = SlidingWindowAsrError::modelProcessingFailed(underlying);
    EXPECT_EQ(wrapping.underlying(), underlying);
    EXPECT_EQ(SlidingWindowAsrError::streamAlreadyExists(AudioSource::system).source(), AudioSource::system);
    EXPECT_EQ(SlidingWindowAsrError::invalidConfiguration("too long").message(), "too long");
    EXPECT_EQ(SlidingWindowAsrError::modelsNotLoaded().underlying(), nullptr);
}

TEST(SlidingWindowAsrErrorTests, WrappedErrorsWithoutADescriptionStillDescribeThemselves) {
    const auto error = SlidingWindowAsrError::audioBufferProcessingFailed(std::make_exception_ptr(42));
    EXPECT_EQ(std::string(error.what()), "Audio buffer processing failed: unknown error");
}

} // namespace
} // namespace quorl
