#include "QuorlAudio/models/DownloadConfig.hpp"
#include "QuorlAudio/models/DownloadError.hpp"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace quorl {
namespace {

struct DescriptionCase {
    DownloadError error;
    DownloadError::Kind kind;
    std::string text;
};

TEST(DownloadError, DescribesEveryCaseWithItsFixedText) {
    const std::vector<DescriptionCase> cases = {
        {DownloadError::rateLimited(429, "Rate limited while downloading a.bin (HTTP 429)"),
         DownloadError::Kind::rateLimited,
         "Hugging Face rate limit encountered: Rate limited while downloading a.bin (HTTP 429)"},
        {DownloadError::downloadFailed("a.bin", std::make_exception_ptr(httpStatusError(404))),
         DownloadError::Kind::downloadFailed,
         "Failed to download a.bin: The operation couldn\u2019t be completed. (HTTP error 404.)"},
        {DownloadError::modelNotFound("Encoder.mlmodelc"), DownloadError::Kind::modelNotFound,
         "Model file not found: Encoder.mlmodelc"},
        {DownloadError::htmlErrorResponse("folder", "<html>"), DownloadError::Kind::htmlErrorResponse,
         "HuggingFace returned HTML instead of JSON for folder (rate limit or server issue): <html>"},
        {DownloadError::invalidArtifact("a.bin", "empty file"), DownloadError::Kind::invalidArtifact,
         "Downloaded artifact for a.bin is invalid (empty file); refusing to cache it."},
        {DownloadError::networkDisabled("download(a.bin)"), DownloadError::Kind::networkDisabled,
         "QuorlAudio offline mode: download(a.bin) blocked"},
        {DownloadError::modelMissing("parakeet", {"Encoder.mlmodelc", "Decoder.mlmodelc"}),
         DownloadError::Kind::modelMissing,
         "QuorlAudio offline mode: required models missing for parakeet: Encoder.mlmodelc, Decoder.mlmodelc"},
        {DownloadError::modelMissing("parakeet", {}), DownloadError::Kind::modelMissing,
         "QuorlAudio offline mode: required models missing for parakeet: "},
        {DownloadError::invalidResponse(), DownloadError::Kind::invalidResponse,
         "Received an invalid response from Hugging Face."},
    };
    for (const auto& [error, kind, text] : cases) {
        EXPECT_EQ(error.kind(), kind) << text;
        EXPECT_EQ(std::string(error.what()), text);
    }
}

TEST(DownloadError, KeepsThePayloadsAndLeavesTheStatusOutOfTheRateLimitText) {
    const auto first = DownloadError::rateLimited(429, "busy");
    const auto second = DownloadError::rateLimited(503, "busy");
    EXPECT_STREQ(first.what(), second.what());
    EXPECT_EQ(second.statusCode(), 503);
    EXPECT_EQ(second.message(), "busy");

    const auto failed = DownloadError::downloadFailed("a.bin", std::make_exception_ptr(std::runtime_error("gone")));
    EXPECT_EQ(failed.path(), "a.bin");
    EXPECT_STREQ(failed.what(), "Failed to download a.bin: gone");
    EXPECT_EQ(DownloadError::modelMissing("r", {"x", "y"}).missing(), (std::vector<std::string>{"x", "y"}));
}

TEST(DownloadError, HttpStatusErrorsHaveTheHttpDomainAndTheStatusAsCode) {
    const auto error = httpStatusError(503);
    EXPECT_EQ(error.domain(), "HTTP");
    EXPECT_EQ(error.code(), 503);
}

TEST(DownloadConfig, DefaultAllowsOneIdleMinute) { EXPECT_EQ(DownloadConfig::defaultConfig().timeout, 60.0); }

} // namespace
} // namespace quorl
