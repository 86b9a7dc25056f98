#pragma once

#include "QuorlAudio/tts/supertonic3/Supertonic3Constants.hpp"

#include <nlohmann/json_fwd.hpp>

#include <cstdint>

namespace quorl {

// The content of a model set's "tts.json": the audio and latent geometry the synthesiser works in.
struct Supertonic3Config {
    // The "ae" section.
    struct AEConfig {
        // Hz.
        std::int64_t sampleRate = Supertonic3Constants::sampleRate;
        // Audio samples per latent frame before compression.
        std::int64_t baseChunkSize = Supertonic3Constants::baseChunkSize;

        bool operator==(const AEConfig&) const = default;
    };

    // The "ttl" section.
    struct TTLConfig {
        std::int64_t chunkCompressFactor = Supertonic3Constants::chunkCompressFactor;
        // Channels per latent frame before compression.
        std::int64_t latentDim = Supertonic3Constants::latentDim;

        bool operator==(const TTLConfig&) const = default;
    };

    AEConfig ae;
    TTLConfig ttl;

    // 44100, 512, 6, 24: what a store holds until it has read a "tts.json".
    static Supertonic3Config defaults() { return {}; }

    bool operator==(const Supertonic3Config&) const = default;
};

// "ae" {"sample_rate", "base_chunk_size"} and "ttl" {"chunk_compress_factor", "latent_dim"}. Reading is all or
// nothing: every one of the four is required and must be a positive integer (the synthesiser divides and sizes
// buffers by them); other keys are ignored. A failed read throws nlohmann::json's errors.
void to_json(nlohmann::json& document, const Supertonic3Config& config);
void from_json(const nlohmann::json& document, Supertonic3Config& config);
void to_json(nlohmann::json& document, const Supertonic3Config::AEConfig& config);
void from_json(const nlohmann::json& document, Supertonic3Config::AEConfig& config);
void to_json(nlohmann::json& document, const Supertonic3Config::TTLConfig& config);
void from_json(const nlohmann::json& document, Supertonic3Config::TTLConfig& config);

} // namespace quorl
