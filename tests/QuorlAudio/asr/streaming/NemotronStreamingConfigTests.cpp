#include "QuorlAudio/asr/streaming/NemotronStreamingConfig.hpp"

#include "QuorlAudio/asr/batch/ASRError.hpp"
#include "tests/support/ErrorText.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace quorl {
namespace {

class NemotronStreamingConfigTest : public ::testing::Test {
protected:
    NemotronStreamingConfig read(const std::string& text) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
        return NemotronStreamingConfig::read(path);
    }

    std::string errorOf(const std::string& text) {
        return testsupport::errorText([&] { read(text); });
    }

    testsupport::TemporaryFolder folder;
    const std::filesystem::path path = folder.path() / "metadata.json";
};

TEST_F(NemotronStreamingConfigTest, AnEmptyObjectTakesTheFileReadersFallbacks) {
    const NemotronStreamingConfig expected{
        .sampleRate = 16000,
        .melFeatures = 128,
        .chunkMelFrames = 112,
        .chunkMs = 1120,
        .preEncodeCache = 9,
        .totalMelFrames = 121,
        .vocabSize = 1024,
        .blankIdx = 1024,
        .encoderDim = 1024,
        .decoderHidden = 640,
        .decoderLayers = 2,
        .cacheChannelShape = {1, 24, 70, 1024},
        .cacheTimeShape = {1, 24, 1024, 8},
    };
    EXPECT_EQ(read("{}"), expected);
}

TEST_F(NemotronStreamingConfigTest, EveryKeyWithTheBuiltInValuesGivesTheBuiltInConfiguration) {
    const std::string text = R"({"sample_rate": 16000, "mel_features": 128, "chunk_mel_frames": 224,
        "chunk_ms": 2240, "pre_encode_cache": 9, "total_mel_frames": 233, "vocab_size": 1024, "blank_idx": 1024,
        "encoder_dim": 1024, "decoder_hidden": 640, "decoder_layers": 2, "cache_channel_shape": [1, 24, 70, 1024],
        "cache_time_shape": [1, 24, 1024, 8], "unknown": "ignored"})";
    EXPECT_EQ(read(text), NemotronStreamingConfig{});
}

TEST_F(NemotronStreamingConfigTest, UnusableValuesFallBackWithoutFailing) {
    struct Case {
        std::string text;
        std::int64_t chunkMelFrames;
        std::int64_t totalMelFrames;
        std::int64_t chunkMs;
        std::int64_t blankIdx;
        std::vector<std::int64_t> cacheChannelShape;
        std::vector<std::int64_t> cacheTimeShape;
    };
    const std::vector<std::int64_t> channel{1, 24, 70, 1024};
    const std::vector<std::int64_t> time{1, 24, 1024, 8};
    const std::vector<Case> cases{
        {R"({"chunk_mel_frames": 56})", 56, 121, 1120, 1024, channel, time},
        {R"({"blank_idx": "1024"})", 112, 121, 1120, 1024, channel, time},
        {R"({"blank_idx": 1024.5})", 112, 121, 1120, 1024, channel, time},
        {R"({"blank_idx": 1030.0})", 112, 121, 1120, 1030, channel, time},
        {R"({"blank_idx": true})", 112, 121, 1120, 1024, channel, time},
        {R"({"blank_idx": 9223372036854775808})", 112, 121, 1120, 1024, channel, time},
        {R"({"chunk_ms": [560]})", 112, 121, 1120, 1024, channel, time},
        {R"({"cache_time_shape": [1, 24, 1024]})", 112, 121, 1120, 1024, channel, {1, 24, 1024}},
        {R"({"cache_channel_shape": [1, 2.5, 70, 1024]})", 112, 121, 1120, 1024, channel, time},
        {R"({"cache_channel_shape": [1, "24", 70, 1024]})", 112, 121, 1120, 1024, channel, time},
        {R"({"cache_channel_shape": 24})", 112, 121, 1120, 1024, channel, time},
    };
    for (const auto& c : cases) {
        const auto config = read(c.text);
        EXPECT_EQ(config.chunkMelFrames, c.chunkMelFrames) << c.text;
        EXPECT_EQ(config.totalMelFrames, c.totalMelFrames) << c.text;
        EXPECT_EQ(config.chunkMs, c.chunkMs) << c.text;
        EXPECT_EQ(config.blankIdx, c.blankIdx) << c.text;
        EXPECT_EQ(config.cacheChannelShape, c.cacheChannelShape) << c.text;
        EXPECT_EQ(config.cacheTimeShape, c.cacheTimeShape) << c.text;
    }
}

TEST_F(NemotronStreamingConfigTest, ATopLevelOtherThanAnObjectIsRefused) {
    for (const std::string text : {"[16000, 128]", R"("metadata")", "42", "null"}) {
        try {
            read(text);
            ADD_FAILURE() << text;
        } catch (const ASRError& error) {
            EXPECT_EQ(error.kind(), ASRError::Kind::processingFailed) << text;
            EXPECT_EQ(error.message(), "Invalid metadata.json format") << text;
            EXPECT_STREQ(error.what(), "ASR processing failed: Invalid metadata.json format") << text;
        }
    }
}

TEST_F(NemotronStreamingConfigTest, ReadAndParseFailuresComeThroughUnchanged) {
    EXPECT_THROW(read("{\"chunk_ms\": "), nlohmann::json::parse_error);
    EXPECT_THROW(NemotronStreamingConfig::read(folder.path() / "missing.json"), std::filesystem::filesystem_error);
}

// A geometry no chunk can be decoded with is refused where the file is named, not in the decoding loop.
TEST_F(NemotronStreamingConfigTest, GeometriesThatCannotBeDecodedAreRefused) {
    const std::vector<std::string> cases{
        R"({"chunk_mel_frames": 0})",
        R"({"chunk_mel_frames": -112})",
        R"({"pre_encode_cache": 0})",
        R"({"pre_encode_cache": -9})",
        R"({"mel_features": 0})",
        R"({"decoder_hidden": 0})",
        R"({"decoder_layers": -2})",
        R"({"cache_channel_shape": [1, 0, 70, 1024]})",
        R"({"cache_time_shape": [1, 24, -1024, 8]})",
        R"({"cache_time_shape": []})",
        R"({"total_mel_frames": 9})",
        R"({"total_mel_frames": 4})",
        R"({"blank_idx": 2147483648})",
    };
    for (const auto& text : cases) {
        try {
            read(text);
            ADD_FAILURE() << text;
        } catch (const ASRError& error) {
            EXPECT_EQ(error.kind(), ASRError::Kind::processingFailed) << text;
            EXPECT_TRUE(error.message().starts_with("Invalid metadata.json: ")) << error.message();
        }
    }
    EXPECT_EQ(read(R"({"total_mel_frames": 10})").totalMelFrames, 10);
}

} // namespace
} // namespace quorl
