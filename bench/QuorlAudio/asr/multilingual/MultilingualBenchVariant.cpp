#include "bench/QuorlAudio/asr/multilingual/MultilingualBenchVariant.hpp"

#include "bench/QuorlAudio/asr/batch/TrivialTransducerModels.hpp"

#include <fstream>

namespace multilingualbench {

using benchsupport::feature;
using platform::ml::DataType;

std::vector<std::size_t> sizes(const std::vector<std::int64_t>& shape) { return {shape.begin(), shape.end()}; }

std::vector<std::size_t> recurrent() {
    return {static_cast<std::size_t>(geometry.decoderLayers), 1, static_cast<std::size_t>(geometry.decoderHidden)};
}

nlohmann::json encoderInputs() {
    return nlohmann::json::array({feature("mel", {1, 128, 121}), feature("mel_length", {1}, DataType::int32),
                                  feature("cache_channel", sizes(geometry.cacheChannelShape)),
                                  feature("cache_time", sizes(geometry.cacheTimeShape)),
                                  feature("cache_len", {1}, DataType::int32),
                                  feature("prompt_id", {1}, DataType::int32)});
}

nlohmann::json withCacheOutputs(nlohmann::json outputs) {
    outputs.push_back(feature("cache_channel_out", sizes(geometry.cacheChannelShape)));
    outputs.push_back(feature("cache_time_out", sizes(geometry.cacheTimeShape)));
    outputs.push_back(feature("cache_len_out", {1}, DataType::int32));
    return outputs;
}

std::map<std::string, platform::ml::FeatureValue>
withCachesEchoed(std::map<std::string, platform::ml::FeatureValue> outputs,
                 const platform::ml::FeatureProvider& input) {
    outputs.emplace("cache_channel_out", *input.featureValue("cache_channel"));
    outputs.emplace("cache_time_out", *input.featureValue("cache_time"));
    outputs.emplace("cache_len_out", *input.featureValue("cache_len"));
    return outputs;
}

void writeVariantFiles(const std::filesystem::path& folder) {
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "metadata.json") << "{}";
    std::ofstream(folder / "tokenizer.json") << nlohmann::json{{"0", "\u2581word"}}.dump();
}

std::vector<float> speechLike(std::size_t count) {
    std::vector<float> samples(count);
    for (std::size_t i = 0; i < count; ++i) {
        samples[i] = static_cast<float>((i * 7919) % 2000) / 4000.0F - 0.25F;
    }
    return samples;
}

} // namespace multilingualbench
