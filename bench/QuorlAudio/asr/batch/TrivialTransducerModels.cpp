#include "TrivialTransducerModels.hpp"

#include "platform/core/Concatenated.hpp"

#include <cstdint>
#include <fstream>
#include <unistd.h>

namespace benchsupport {

using platform::ml::DataType;
using platform::ml::FeatureValue;

std::map<std::string, FeatureValue> TrivialDecoder::predict(const platform::ml::FeatureProvider&,
                                                            platform::ml::ModelState*,
                                                            const platform::ml::PredictionOptions& options) {
    return {
        {"decoder", FeatureValue(projection_)},
        {"h_out", FeatureValue(options.outputBackings.at("h_out"))},
        {"c_out", FeatureValue(options.outputBackings.at("c_out"))},
    };
}

std::map<std::string, FeatureValue> TrivialJoint::predict(const platform::ml::FeatureProvider&,
                                                          platform::ml::ModelState*,
                                                          const platform::ml::PredictionOptions& options) {
    const auto& tokenId = options.outputBackings.at("token_id");
    const auto& tokenProb = options.outputBackings.at("token_prob");
    const auto& duration = options.outputBackings.at("duration");
    tokenId->at<std::int32_t>(0) = token_;
    tokenProb->at<float>(0) = 0.9f;
    duration->at<std::int32_t>(0) = 1;
    return {{"token_id", FeatureValue(tokenId)},
            {"token_prob", FeatureValue(tokenProb)},
            {"duration", FeatureValue(duration)}};
}

nlohmann::json feature(const std::string& name, const std::vector<std::size_t>& shape, DataType dataType) {
    return {{"name", name}, {"type", "multiArray"}, {"dataType", platform::ml::rawValue(dataType)}, {"shape", shape}};
}

nlohmann::json manifest(const std::string& kernel, const nlohmann::json& inputs, const nlohmann::json& outputs) {
    return {{"kernel", kernel}, {"inputs", inputs}, {"outputs", outputs}};
}

nlohmann::json decoderManifest(const std::string& kernel, std::size_t layers) {
    const std::vector<std::size_t> recurrent{layers, 1, projectionSize};
    return manifest(kernel,
                    {feature("targets", {1, 1}, DataType::int32), feature("target_length", {1}, DataType::int32),
                     feature("h_in", recurrent), feature("c_in", recurrent)},
                    {feature("decoder", {1, 1, projectionSize}), feature("h_out", recurrent),
                     feature("c_out", recurrent)});
}

nlohmann::json jointManifest(const std::string& kernel, std::size_t encoderHiddenSize) {
    return manifest(kernel,
                    {feature("encoder_step", {1, encoderHiddenSize, 1}),
                     feature("decoder_step", {1, projectionSize, 1})},
                    {feature("token_id", {1, 1, 1}, DataType::int32), feature("token_prob", {1, 1, 1}),
                     feature("duration", {1, 1, 1}, DataType::int32)});
}

BundleFolder::BundleFolder(const std::string& prefix)
    : path_(std::filesystem::temp_directory_path() /
            platform::core::concatenated({prefix, "-", std::to_string(getpid())})) {}

BundleFolder::~BundleFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::shared_ptr<platform::ml::Model> BundleFolder::load(const std::string& name,
                                                        const nlohmann::json& manifest) const {
    const auto bundle = path_ / name;
    std::filesystem::create_directories(bundle);
    std::ofstream(bundle / "coremldata.bin") << "compiled";
    std::ofstream(bundle / "model.json") << manifest.dump();
    return platform::ml::Model::load(bundle);
}

} // namespace benchsupport
