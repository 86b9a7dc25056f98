#include "MultilingualTestVariant.hpp"

#include "QuorlAudio/asr/multilingual/NemotronMultilingualStreamingConfig.hpp"
#include "QuorlAudio/asr/streaming/EncoderCacheManager.hpp"
#include "tests/support/ModelBundleWriter.hpp"

#include <fstream>

namespace quorl {
namespace {

using platform::ml::DataType;
using testsupport::multiArrayFeature;
using Shape = std::vector<std::size_t>;

constexpr std::size_t projected = 640;

std::size_t size(std::int64_t value) { return static_cast<std::size_t>(value); }
Shape sizes(const std::vector<std::int64_t>& shape) { return {shape.begin(), shape.end()}; }

NemotronMultilingualStreamingConfig configOf(const std::filesystem::path& metadata) {
    return NemotronMultilingualStreamingConfig::read(metadata);
}

} // namespace

MultilingualTestVariant::MultilingualTestVariant(nlohmann::json metadata) : metadata_(std::move(metadata)) {
    std::ofstream(folder() / "metadata.json") << metadata_.dump();
    std::ofstream(folder() / "tokenizer.json")
        << nlohmann::json{{"0", "\u2581hello"}, {"1", "\u2581world"}, {"2", "<en>"}, {"3", "<de>"}}.dump();
    for (const Model model : {Model::encoder, Model::decoder, Model::joint, Model::decoderJoint,
                              Model::decoderJointArgmax, Model::decoderJointNoEncProj, Model::jointNoEncProjBatched}) {
        kernels_.emplace(
            model, std::make_unique<testsupport::ScriptedKernel>("multilingual-tests-" + stem(model),
                                                                 [this, model](const auto&) { return answer(model); }));
    }
}

std::string MultilingualTestVariant::stem(Model model) {
    switch (model) {
    case Model::encoder: return "encoder";
    case Model::decoder: return "decoder";
    case Model::joint: return "joint";
    case Model::decoderJoint: return "decoder_joint";
    case Model::decoderJointArgmax: return "decoder_joint_argmax";
    case Model::decoderJointNoEncProj: return "decoder_joint_noencproj";
    case Model::jointNoEncProjBatched: return "joint_noencproj_batched";
    }
    return {};
}

MultilingualTestVariant::Declared MultilingualTestVariant::declared(Model model) const {
    const auto config = configOf(folder() / "metadata.json");
    const Shape state{size(config.decoderLayers), 1, size(config.decoderHidden)};
    const Shape encoderFrame{1, size(config.encoderDim), 1};
    const auto vocabulary = size(config.vocabSize) + 1;
    const std::vector<nlohmann::json> tokenInputs{multiArrayFeature("token", {1, 1}, DataType::int32),
                                                  multiArrayFeature("token_length", {1}, DataType::int32),
                                                  multiArrayFeature("h_in", state), multiArrayFeature("c_in", state)};
    const std::vector<nlohmann::json> stateOutputs{multiArrayFeature("h_out", state),
                                                   multiArrayFeature("c_out", state)};
    auto fusedInputs = tokenInputs;
    switch (model) {
    case Model::encoder:
        return {{multiArrayFeature("mel", {1, size(config.melFeatures), size(config.totalMelFrames)}),
                 multiArrayFeature("mel_length", {1}, DataType::int32),
                 multiArrayFeature("cache_channel", sizes(config.cacheChannelShape)),
                 multiArrayFeature("cache_time", sizes(config.cacheTimeShape)),
                 multiArrayFeature("cache_len", {1}, DataType::int32),
                 multiArrayFeature("prompt_id", {1}, DataType::int32)},
                {multiArrayFeature("encoded", {1, size(config.encoderDim), 2}),
                 multiArrayFeature("cache_channel_out", sizes(config.cacheChannelShape)),
                 multiArrayFeature("cache_len_out", {1}, DataType::int32)}};
    case Model::decoder:
        return {tokenInputs, {multiArrayFeature("decoder", {1, projected, 1}), stateOutputs[0], stateOutputs[1]}};
    case Model::joint:
        return {{multiArrayFeature("encoder", encoderFrame), multiArrayFeature("decoder", {1, projected, 1})},
                {multiArrayFeature("logits", {1, 1, 1, vocabulary})}};
    case Model::decoderJoint:
    case Model::decoderJointArgmax:
        fusedInputs.push_back(multiArrayFeature("encoder", encoderFrame));
        return {fusedInputs, {multiArrayFeature("token_id", {1}, DataType::int32), stateOutputs[0], stateOutputs[1]}};
    case Model::decoderJointNoEncProj:
        fusedInputs.push_back(multiArrayFeature("encoder_proj", {1, 1, projected}));
        return {fusedInputs, {multiArrayFeature("logits", {1, vocabulary}), stateOutputs[0], stateOutputs[1]}};
    case Model::jointNoEncProjBatched:
        return {{multiArrayFeature("encoder_proj", {1, 8, projected}), multiArrayFeature("decoder", {1, projected, 1})},
                {multiArrayFeature("token_ids", {1, 8}, DataType::int32)}};
    }
    return {};
}

void MultilingualTestVariant::add(Model model, Form form) { write(model, declared(model), form); }

void MultilingualTestVariant::addStatefulEncoder() {
    const auto config = configOf(folder() / "metadata.json");
    write(Model::encoder, declared(Model::encoder), Form::compiled,
          {multiArrayFeature("encoder_cache", sizes(config.cacheChannelShape))});
}

void MultilingualTestVariant::addBatchedJoint(const std::vector<std::size_t>& encoderProjShape) {
    Declared batched = declared(Model::jointNoEncProjBatched);
    batched.inputs[0] = multiArrayFeature("encoder_proj", encoderProjShape);
    const std::size_t frames = encoderProjShape.size() > 1 ? encoderProjShape[1] : 1;
    batched.outputs = {multiArrayFeature("token_ids", {1, frames}, DataType::int32)};
    write(Model::jointNoEncProjBatched, batched, Form::compiled);
}

void MultilingualTestVariant::write(Model model, const Declared& declared, Form form,
                                    const std::vector<nlohmann::json>& states) {
    const std::string name = stem(model) + (form == Form::compiled ? ".mlmodelc" : ".mlpackage");
    const auto bundle = testsupport::writeModelBundle(
        folder(), name, testsupport::modelManifest(kernel(model).name(), declared.inputs, declared.outputs, states));
    if (form == Form::package) {
        std::filesystem::remove(bundle / "coremldata.bin");
    }
    const std::lock_guard lock(mutex_);
    outputs_[model] = declared.outputs;
}

testsupport::ScriptedKernel::Outputs MultilingualTestVariant::answer(Model model) {
    const std::lock_guard lock(mutex_);
    order_.push_back(stem(model));
    testsupport::ScriptedKernel::Outputs outputs;
    for (const auto& output : outputs_.at(model)) {
        const auto dataType = platform::core::fromRawValue<DataType>(output.at("dataType").get<std::string>());
        outputs.emplace(output.at("name").get<std::string>(),
                        EncoderCacheManager::createZeroArray(output.at("shape").get<Shape>(), *dataType));
    }
    return outputs;
}

std::vector<std::string> MultilingualTestVariant::predictionOrder() const {
    const std::lock_guard lock(mutex_);
    return order_;
}

} // namespace quorl
