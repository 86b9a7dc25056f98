#include "QuorlAudio/asr/multilingual/NemotronMultilingualStreamingConfig.hpp"

#include "QuorlAudio/asr/batch/ASRError.hpp"
#include "tests/support/ErrorText.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <string>

namespace quorl {
namespace {

class NemotronMultilingualStreamingConfigTest : public ::testing::Test {
protected:
    NemotronMultilingualStreamingConfig read(const std::string& text) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
        return NemotronMultilingualStreamingConfig::read(path);
    }

    std::string errorOf(const std::string& text) {
        return testsupport::errorText([&] { read(text); });
    }

    testsupport::TemporaryFolder folder;
    const std::filesystem::path path = folder.path() / "metadata.json";
};

TEST_F(NemotronMultilingualStreamingConfigTest, AnEmptyObjectGivesTheDefaults) {
    const auto config = read("{}");
    EXPECT_EQ(config, NemotronMultilingualStreamingConfig{});
    EXPECT_EQ(config.promptDictionary, (std::map<std::string, std::int64_t>{{"auto", 101}}));
    EXPECT_TRUE(config.langTagTokenIds.empty());
    EXPECT_EQ(config.chunkSamples(), 17920);
}

TEST_F(NemotronMultilingualStreamingConfigTest, EveryKeyIsRead) {
    const auto config = read(R"({"sample_rate": 8000, "mel_features": 80, "chunk_mel_frames": 56, "chunk_ms": 600,
        "pre_encode_cache": 4, "total_mel_frames": 60, "vocab_size": 500, "blank_idx": 499, "encoder_dim": 512,
        "decoder_hidden": 320, "decoder_layers": 1, "cache_channel_shape": [1, 2, 3, 4], "cache_time_shape": [1, 2, 4, 3],
        "num_prompts": 3, "default_prompt_id": 2, "prompt_dictionary": {"en": 0, "de": 1},
        "lang_tag_token_ids": [5, 5, 6], "unknown": "ignored"})");
    const NemotronMultilingualStreamingConfig expected{
        .sampleRate = 8000,
        .melFeatures = 80,
        .chunkMelFrames = 56,
        .chunkMs = 600,
        .preEncodeCache = 4,
        .totalMelFrames = 60,
        .vocabSize = 500,
        .blankIdx = 499,
        .encoderDim = 512,
        .decoderHidden = 320,
        .decoderLayers = 1,
        .cacheChannelShape = {1, 2, 3, 4},
        .cacheTimeShape = {1, 2, 4, 3},
        .numPrompts = 3,
        .defaultPromptId = 2,
        .promptDictionary = {{"en", 0}, {"de", 1}},
        .langTagTokenIds = {5, 6},
    };
    EXPECT_EQ(config, expected);
}

TEST_F(NemotronMultilingualStreamingConfigTest, FallbacksFollowTheValuesActuallyRead) {
    const auto halfChunk = read(R"({"chunk_mel_frames": 56})");
    EXPECT_EQ(halfChunk.chunkMs, 560);
    EXPECT_EQ(halfChunk.totalMelFrames, 65);
    EXPECT_EQ(halfChunk.chunkSamples(), 8960);
    // The frames the encoder receives beyond the chunk are a fixed 9, not the file's carried frames.
    EXPECT_EQ(read(R"({"pre_encode_cache": 4})").totalMelFrames, 121);
    EXPECT_EQ(read(R"({"vocab_size": 5000})").blankIdx, 5000);
    EXPECT_EQ(read(R"({"vocab_size": 5000, "blank_idx": 0})").blankIdx, 0);
}

TEST_F(NemotronMultilingualStreamingConfigTest, ValuesOfAnotherTypeFallBackSilently) {
    const NemotronMultilingualStreamingConfig defaults;
    EXPECT_EQ(read(R"({"chunk_mel_frames": "56"})"), defaults);
    EXPECT_EQ(read(R"({"cache_time_shape": [1, 24, 1024, 8.5]})"), defaults);
    EXPECT_EQ(read(R"({"prompt_dictionary": {"en": 1, "de": "2"}})"), defaults);
    EXPECT_EQ(read(R"({"lang_tag_token_ids": [1, null]})"), defaults);
    EXPECT_EQ(read(R"({"chunk_mel_frames": 112.0})"), defaults);
}

TEST_F(NemotronMultilingualStreamingConfigTest, FilesThatAreNotAMetadataObjectFail) {
    EXPECT_EQ(errorOf("[1, 2]"), "ASR processing failed: Invalid multilingual metadata.json format");
    EXPECT_THROW(read(R"({"chunk_mel_frames": 5)"), nlohmann::json::parse_error);
    std::filesystem::remove(path);
    EXPECT_THROW(NemotronMultilingualStreamingConfig::read(path), std::filesystem::filesystem_error);
}

// Values that would never complete a chunk, overrun the carried mel frames or size arrays from nonsense.
TEST_F(NemotronMultilingualStreamingConfigTest, AGeometryNoChunkCanBeCutWithFails) {
    const std::pair<const char*, const char*> cases[] = {
        {R"({"chunk_mel_frames": 0})", "chunk_mel_frames"},
        {R"({"chunk_mel_frames": -3})", "chunk_mel_frames"},
        {R"({"chunk_mel_frames": 9223372036854775807})", "chunk_mel_frames"},
        {R"({"mel_features": 0})", "mel_features"},
        {R"({"pre_encode_cache": -1})", "pre_encode_cache"},
        {R"({"pre_encode_cache": 122})", "pre_encode_cache"},
        {R"({"total_mel_frames": 5, "pre_encode_cache": 9})", "pre_encode_cache"},
        {R"({"cache_channel_shape": []})", "cache_channel_shape"},
        {R"({"cache_time_shape": [1, 0, 3]})", "cache_time_shape"},
        {R"({"blank_idx": 2147483648})", "blank_idx"},
        {R"({"vocab_size": -2147483649})", "blank_idx"},
        {R"({"default_prompt_id": 4294967296})", "default_prompt_id"},
        {R"({"decoder_layers": 0})", "decoder_layers"},
        {R"({"decoder_hidden": -640})", "decoder_hidden"},
        {R"({"encoder_dim": 0})", "encoder_dim"},
    };
    for (const auto& [text, key] : cases) {
        EXPECT_EQ(errorOf(text), std::string("ASR processing failed: Invalid multilingual metadata.json: \"") + key +
                                     "\" is out of range")
            << text;
    }
    EXPECT_EQ(read(R"({"pre_encode_cache": 0})").preEncodeCache, 0);
    EXPECT_EQ(read(R"({"pre_encode_cache": 121})").preEncodeCache, 121);
}

TEST(NemotronMultilingualPromptId, LanguageCodesFindTheirPromptLeniently) {
    const NemotronMultilingualStreamingConfig config{
        .defaultPromptId = 101,
        .promptDictionary = {{"en-US", 3}, {"de", 7}, {"zh-HANS-CN", 9}, {"pt_BR", 11}},
        .langTagTokenIds = {},
    };
    const std::pair<std::optional<std::string>, std::int64_t> cases[] = {
        {std::nullopt, 101}, {"", 101},     {"en-US", 3},   {"en_us", 3},   {"EN-us", 3}, {"DE", 7},
        {"de-AT", 7},        {"DE-at", 7},  {"fr", 101},    {"-de", 7},     {"de-", 7},   {"-", 101},
        {"zh-Hans-CN", 9},   {"pt_BR", 11}, {"pt-BR", 101}, {"en-GB", 101},
    };
    for (const auto& [language, expected] : cases) {
        EXPECT_EQ(config.promptId(language), expected) << language.value_or("none");
    }
    const NemotronMultilingualStreamingConfig empty{
        .defaultPromptId = 5, .promptDictionary = {}, .langTagTokenIds = {}};
    EXPECT_EQ(empty.promptId("auto"), 5);
}

} // namespace
} // namespace quorl
