#include "QuorlAudio/tts/supertonic3/Supertonic3Config.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <string>

namespace quorl {
namespace {

using nlohmann::json;

TEST(Supertonic3ConfigTests, ReadsAllFourValuesIgnoringOtherKeysAndWritesThemBack) {
    const auto document = json::parse(R"({"ae": {"sample_rate": 48000, "base_chunk_size": 256, "extra": true},
                                          "ttl": {"chunk_compress_factor": 4, "latent_dim": 32}, "version": "3"})");
    const auto config = document.get<Supertonic3Config>();
    EXPECT_EQ(config, (Supertonic3Config{.ae = {.sampleRate = 48000, .baseChunkSize = 256},
                                         .ttl = {.chunkCompressFactor = 4, .latentDim = 32}}));
    EXPECT_EQ(json(config).get<Supertonic3Config>(), config);
    EXPECT_EQ(
        json(Supertonic3Config::defaults()).dump(),
        R"({"ae":{"base_chunk_size":512,"sample_rate":44100},"ttl":{"chunk_compress_factor":6,"latent_dim":24}})");
}

TEST(Supertonic3ConfigTests, AFileLackingOrMisstatingOneValueIsRefusedAsAWhole) {
    const char* documents[] = {
        R"({"ae": {"sample_rate": 44100}, "ttl": {"chunk_compress_factor": 6, "latent_dim": 24}})",
        R"({"ae": {"sample_rate": 44100, "base_chunk_size": 512}, "ttl": {"chunk_compress_factor": 6}})",
        R"({"ae": {"sample_rate": 44100, "base_chunk_size": 512}})",
        R"({"ae": {"sample_rate": 44100.5, "base_chunk_size": 512}, "ttl": {"chunk_compress_factor": 6, "latent_dim": 24}})",
        R"({"ae": {"sample_rate": "44100", "base_chunk_size": 512}, "ttl": {"chunk_compress_factor": 6, "latent_dim": 24}})",
        R"({"ae": {"sample_rate": 44100, "base_chunk_size": 512}, "ttl": {"chunk_compress_factor": 0, "latent_dim": 24}})",
        R"({"ae": {"sample_rate": -1, "base_chunk_size": 512}, "ttl": {"chunk_compress_factor": 6, "latent_dim": 24}})",
        R"([44100, 512, 6, 24])",
    };
    const Supertonic3Config earlier{.ae = {.sampleRate = 8000, .baseChunkSize = 1},
                                    .ttl = {.chunkCompressFactor = 2, .latentDim = 3}};
    for (const char* document : documents) {
        Supertonic3Config config = earlier;
        EXPECT_THROW(from_json(json::parse(document), config), json::exception) << document;
        EXPECT_EQ(config, earlier) << document;
    }
}

} // namespace
} // namespace quorl
