#include "TrivialTransducerModels.hpp"

#include "QuorlAudio/foundation/ANEMemoryUtils.hpp"

#include "platform/core/Concatenated.hpp"
#include "platform/ml/KernelRegistry.hpp"

#include <cstdint>
#include <fstream>
#include <thread>
#include <unistd.h>
#include <utility>

namespace benchsupport {

using platform::ml::DataType;
using platform::ml::FeatureValue;
using platform::ml::MultiArray;

namespace {

// The mel array of a window is much smaller than a real one: its content is never read.
const std::vector<std::size_t> melShape{1, 128, 16};
constexpr int melLength = 1500;

// A one-element Int32 array holding the length.
std::shared_ptr<MultiArray> lengthArray(int length) {
    auto array = std::make_shared<MultiArray>(MultiArray::Shape{1}, DataType::int32);
    array->at<std::int32_t>(0) = length;
    return array;
}

// Binds the kernel name to the factory and loads the bundle named after it.
std::shared_ptr<platform::ml::Model> loadKernel(const BundleFolder& folder, const std::string& kernel,
                                                platform::ml::KernelFactory factory, const nlohmann::json& manifest) {
    platform::ml::registerKernel(kernel, std::move(factory));
    return folder.load(platform::core::concatenated({kernel, ".mlmodelc"}), manifest);
}

std::string kernelName(const TrivialModelSet& set, const std::string& role) {
    return platform::core::concatenated({set.name, "-", role});
}

std::size_t frameWidth(const TrivialModelSet& set) {
    return static_cast<std::size_t>(quorl::encoderHiddenSize(set.version));
}

struct FrontEnd {
    std::shared_ptr<platform::ml::Model> preprocessor;
    std::shared_ptr<platform::ml::Model> encoder;
};

// The set's preprocessor and encoder, or its fused front end in the preprocessor's place.
FrontEnd frontEnd(const BundleFolder& folder, const TrivialModelSet& set) {
    const auto load = [&](const std::string& role, platform::ml::KernelFactory factory, const nlohmann::json& inputs,
                          const nlohmann::json& outputs) {
        const std::string kernel = kernelName(set, role);
        return loadKernel(folder, kernel, std::move(factory), manifest(kernel, inputs, outputs));
    };
    const nlohmann::json audio{feature("audio_signal", {1, windowSamples}),
                               feature("audio_length", {1}, DataType::int32)};
    const nlohmann::json frames{feature("encoder", {1, frameWidth(set), windowFrames}),
                                feature("encoder_length", {1}, DataType::int32)};
    const platform::ml::KernelFactory encoder = [set](const auto&) {
        return std::make_unique<TrivialEncoder>(frameWidth(set), set.validFrames, set.encoderDelay);
    };
    if (quorl::hasFusedEncoder(set.version)) {
        return {.preprocessor = load("front-end", encoder, audio, frames), .encoder = nullptr};
    }
    const nlohmann::json mel{feature("mel", melShape), feature("mel_length", {1}, DataType::int32)};
    return {
        .preprocessor = load(
            "preprocessor", [](const auto&) { return std::make_unique<TrivialPreprocessor>(); }, audio, mel),
        .encoder = load("encoder", encoder, mel, frames),
    };
}

} // namespace

TrivialPreprocessor::TrivialPreprocessor()
    : mel_(std::make_shared<MultiArray>(melShape, DataType::float32)), melLength_(lengthArray(melLength)) {}

std::map<std::string, FeatureValue> TrivialPreprocessor::predict(const platform::ml::FeatureProvider&,
                                                                 platform::ml::ModelState*,
                                                                 const platform::ml::PredictionOptions&) {
    return {{"mel", FeatureValue(mel_)}, {"mel_length", FeatureValue(melLength_)}};
}

TrivialEncoder::TrivialEncoder(std::size_t hiddenSize, int validFrames, std::chrono::milliseconds delay)
    : encoder_(quorl::ANEMemoryUtils::createAlignedArray({1, hiddenSize, windowFrames}, DataType::float32, true)),
      length_(lengthArray(validFrames)), delay_(delay) {}

std::map<std::string, FeatureValue> TrivialEncoder::predict(const platform::ml::FeatureProvider&,
                                                            platform::ml::ModelState*,
                                                            const platform::ml::PredictionOptions&) {
    if (delay_.count() > 0) {
        std::this_thread::sleep_for(delay_);
    }
    return {{"encoder", FeatureValue(encoder_)}, {"encoder_length", FeatureValue(length_)}};
}

std::map<std::string, FeatureValue> TrivialDecoder::predict(const platform::ml::FeatureProvider&,
                                                            platform::ml::ModelState*,
                                                            const platform::ml::PredictionOptions& options) {
    return {
        {"decoder", FeatureValue(projection_)},
        {"h_out", FeatureValue(options.outputBackings.at("h_out"))},
        {"c_out", FeatureValue(options.outputBackings.at("c_out"))},
    };
}

std::map<std::string, FeatureValue> TrivialJoint::predict(const platform::ml::FeatureProvider& input,
                                                          platform::ml::ModelState* state,
                                                          const platform::ml::PredictionOptions& options) {
    std::map<std::string, FeatureValue> outputs;
    predictInto(input, state, options, outputs);
    return outputs;
}

void TrivialJoint::predictInto(const platform::ml::FeatureProvider&, platform::ml::ModelState*,
                               const platform::ml::PredictionOptions& options,
                               std::map<std::string, FeatureValue>& outputs) {
    const auto& tokenId = options.outputBackings.at("token_id");
    const auto& tokenProb = options.outputBackings.at("token_prob");
    const auto& duration = options.outputBackings.at("duration");
    tokenId->at<std::int32_t>(0) = token_;
    tokenProb->at<float>(0) = 0.9f;
    duration->at<std::int32_t>(0) = 1;
    outputs.insert_or_assign("token_id", FeatureValue(tokenId));
    outputs.insert_or_assign("token_prob", FeatureValue(tokenProb));
    outputs.insert_or_assign("duration", FeatureValue(duration));
}

nlohmann::json feature(const std::string& name, const std::vector<std::size_t>& shape, DataType dataType) {
    return {{"name", name}, {"type", "multiArray"}, {"dataType", platform::ml::rawValue(dataType)}, {"shape", shape}};
}

nlohmann::json manifest(const std::string& kernel, const nlohmann::json& inputs, const nlohmann::json& outputs) {
    return {{"kernel", kernel}, {"inputs", inputs}, {"outputs", outputs}};
}

nlohmann::json decoderManifest(const std::string& kernel, std::size_t layers) {
    const std::vector<std::size_t> recurrent{layers, 1, projectionSize};
    return manifest(
        kernel,
        {feature("targets", {1, 1}, DataType::int32), feature("target_length", {1}, DataType::int32),
         feature("h_in", recurrent), feature("c_in", recurrent)},
        {feature("decoder", {1, 1, projectionSize}), feature("h_out", recurrent), feature("c_out", recurrent)});
}

nlohmann::json jointManifest(const std::string& kernel, std::size_t encoderHiddenSize) {
    return manifest(
        kernel, {feature("encoder_step", {1, encoderHiddenSize, 1}), feature("decoder_step", {1, projectionSize, 1})},
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

std::shared_ptr<platform::ml::Model> BundleFolder::load(const std::string& name, const nlohmann::json& manifest) const {
    const auto bundle = path_ / name;
    std::filesystem::create_directories(bundle);
    std::ofstream(bundle / "coremldata.bin") << "compiled";
    std::ofstream(bundle / "model.json") << manifest.dump();
    return platform::ml::Model::load(bundle);
}

quorl::AsrModels trivialModels(const BundleFolder& folder, const TrivialModelSet& set) {
    const auto [preprocessor, encoder] = frontEnd(folder, set);
    const std::string decoder = kernelName(set, "decoder");
    const std::string joint = kernelName(set, "joint");
    const int blankId = quorl::blankId(set.version);
    const auto layers = static_cast<std::size_t>(quorl::decoderLayers(set.version));
    return quorl::AsrModels{
        .encoder = encoder,
        .preprocessor = preprocessor,
        .decoder = loadKernel(
            folder, decoder, [](const auto&) { return std::make_unique<TrivialDecoder>(); },
            decoderManifest(decoder, layers)),
        .joint = loadKernel(
            folder, joint, [blankId](const auto&) { return std::make_unique<TrivialJoint>(blankId); },
            jointManifest(joint, frameWidth(set))),
        .ctcHead = nullptr,
        .configuration = {},
        .vocabulary = {},
        .version = set.version,
    };
}

} // namespace benchsupport
