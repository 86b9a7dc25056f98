#include "QuorlAudio/tts/supertonic3/Supertonic3Config.hpp"

#include "QuorlAudio/foundation/JsonFields.hpp"

#include <nlohmann/json.hpp>

#include <string>

namespace quorl {
namespace {

using nlohmann::json;

std::int64_t positiveInteger(const json& object, const char* key) {
    const std::int64_t value = JsonFields::readInteger(object, key);
    if (value <= 0) {
        throw json::out_of_range::create(
            406, "value of '" + std::string(key) + "' must be positive, but is " + std::to_string(value), &object);
    }
    return value;
}

} // namespace

void to_json(json& document, const Supertonic3Config& config) { document = {{"ae", config.ae}, {"ttl", config.ttl}}; }

// Both sections are read before anything is assigned, so a failure leaves the caller's value as it was.
void from_json(const json& document, Supertonic3Config& config) {
    config = {.ae = document.at("ae").get<Supertonic3Config::AEConfig>(),
              .ttl = document.at("ttl").get<Supertonic3Config::TTLConfig>()};
}

void to_json(json& document, const Supertonic3Config::AEConfig& config) {
    document = {{"sample_rate", config.sampleRate}, {"base_chunk_size", config.baseChunkSize}};
}

void from_json(const json& document, Supertonic3Config::AEConfig& config) {
    config = {.sampleRate = positiveInteger(document, "sample_rate"),
              .baseChunkSize = positiveInteger(document, "base_chunk_size")};
}

void to_json(json& document, const Supertonic3Config::TTLConfig& config) {
    document = {{"chunk_compress_factor", config.chunkCompressFactor}, {"latent_dim", config.latentDim}};
}

void from_json(const json& document, Supertonic3Config::TTLConfig& config) {
    config = {.chunkCompressFactor = positiveInteger(document, "chunk_compress_factor"),
              .latentDim = positiveInteger(document, "latent_dim")};
}

} // namespace quorl
