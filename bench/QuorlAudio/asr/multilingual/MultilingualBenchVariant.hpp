#pragma once

#include "QuorlAudio/asr/multilingual/NemotronMultilingualStreamingConfig.hpp"
#include "platform/ml/FeatureProvider.hpp"
#include "platform/ml/FeatureValue.hpp"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

// What the multilingual stream benchmarks' variants share: the default geometry, the encoder's cache
// inputs and outputs, the folder's metadata and vocabulary, and the audio they feed.
namespace multilingualbench {

inline const quorl::NemotronMultilingualStreamingConfig geometry;

std::vector<std::size_t> sizes(const std::vector<std::int64_t>& shape);
// The decoder's recurrent state shape [layers, 1, hidden].
std::vector<std::size_t> recurrent();

// The encoder's inputs: mel, its length, the caches and the prompt.
nlohmann::json encoderInputs();
// The encoder's cache outputs, appended to `outputs`.
nlohmann::json withCacheOutputs(nlohmann::json outputs);
// The caches the encoder was given, handed back as its cache outputs beside `outputs`.
std::map<std::string, platform::ml::FeatureValue>
withCachesEchoed(std::map<std::string, platform::ml::FeatureValue> outputs, const platform::ml::FeatureProvider& input);

// An empty "metadata.json" (the default geometry) and a one-piece "tokenizer.json".
void writeVariantFiles(const std::filesystem::path& folder);

// A deterministic signal in ±0.25.
std::vector<float> speechLike(std::size_t count);

} // namespace multilingualbench
