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
        << nlohmann::json{{"0", "\u2581hello"}, {"1", "\u2581world"}, {"2", "<en>"}, {"3", "<de>"}, {"4", "<fr>"}}
               .dump();
    for (const Model model : {Model::encoder, Model::decoder, Model::joint, Model::decoderJoint,
                              Model::decoderJointArgmax, Model::decoderJointNoEncProj, Model::jointNoEncProjBatched}) {
        kernels_.emplace(model, std::make_unique<testsupport::ScriptedKernel>(
                                    "multilingual-tests-" + stem(model),
                                    [this, model](const auto& call) { return answer(model, call); }));
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
    case Model::encoder: return declaredEncoder({});
    case Model::decoder:
        return {tokenInputs, {multiArrayFeature("decoder_out", {1, projected, 1}), stateOutputs[0], stateOutputs[1]}};
    case Model::joint:
        return {{multiArrayFeature("encoder", encoderFrame), multiArrayFeature("decoder", {1, projected, 1})},
                {multiArrayFeature("logits", {1, 1, 1, vocabulary})}};
    case Model::decoderJoint:
        fusedInputs.push_back(multiArrayFeature("encoder", encoderFrame));
        return {fusedInputs, {multiArrayFeature("logits", {1, 1, 1, vocabulary}), stateOutputs[0], stateOutputs[1]}};
    case Model::decoderJointArgmax:
        fusedInputs.push_back(multiArrayFeature("encoder", encoderFrame));
        return {fusedInputs, {multiArrayFeature("token_id", {1}, DataType::int32), stateOutputs[0], stateOutputs[1]}};
    case Model::decoderJointNoEncProj:
        fusedInputs.push_back(multiArrayFeature("encoder_proj", {1, 1, projected}));
        return {fusedInputs, {multiArrayFeature("logits", {1, vocabulary}), stateOutputs[0], stateOutputs[1]}};
    case Model::jointNoEncProjBatched:
        return {{multiArrayFeature("encoder_proj", {1, 8, projected}), multiArrayFeature("decoder", {1, projected, 1})},
                {multiArrayFeature("token_ids", {1, 8}, DataType::int32),
                 multiArrayFeature("logits", {1, 8, 1, vocabulary})}};
    }
    return {};
}

MultilingualTestVariant::Declared MultilingualTestVariant::declaredEncoder(const EncoderOutputs& outputs) const {
    const auto config = configOf(folder() / "metadata.json");
    Declared encoder{{multiArrayFeature("mel", {1, size(config.melFeatures), size(config.totalMelFrames)}),
                      multiArrayFeature("mel_length", {1}, DataType::int32),
                      multiArrayFeature("cache_channel", sizes(config.cacheChannelShape)),
                      multiArrayFeature("cache_time", sizes(config.cacheTimeShape)),
                      multiArrayFeature("cache_len", {1}, DataType::int32),
                      multiArrayFeature("prompt_id", {1}, DataType::int32)},
                     {multiArrayFeature("encoded", {1, size(config.encoderDim), outputs.frames}),
                      multiArrayFeature("cache_channel_out", sizes(config.cacheChannelShape)),
                      multiArrayFeature("cache_len_out", {1}, DataType::int32)}};
    if (outputs.projected) {
        encoder.outputs.push_back(multiArrayFeature("encoder_proj", {1, outputs.frames, projected}));
    }
    if (outputs.timeCache) {
        encoder.outputs.push_back(multiArrayFeature("cache_time_out", sizes(config.cacheTimeShape)));
    }
    return encoder;
}

void MultilingualTestVariant::add(Model model, Form form) { write(model, declared(model), form); }

void MultilingualTestVariant::addEncoder(const EncoderOutputs& outputs) {
    write(Model::encoder, declaredEncoder(outputs), Form::compiled);
}

void MultilingualTestVariant::addStatefulEncoder(const EncoderOutputs& outputs) {
    const auto config = configOf(folder() / "metadata.json");
    // The state object holds the caches, so they are no inputs.
    Declared encoder = declaredEncoder(outputs);
    std::erase_if(encoder.inputs, [](const nlohmann::json& input) {
        const auto name = input.at("name").get<std::string>();
        return name == "cache_channel" || name == "cache_time";
    });
    write(Model::encoder, encoder, Form::compiled,
          {multiArrayFeature("encoder_cache", sizes(config.cacheChannelShape))});
}

void MultilingualTestVariant::emit(Model model, TokenScript script) {
    const std::lock_guard lock(mutex_);
    scripts_[model] = std::move(script);
}

void MultilingualTestVariant::emitSequence(Model model, std::vector<std::int64_t> tokens) {
    const auto blank = configOf(folder() / "metadata.json").blankIdx;
    emit(model, [tokens = std::move(tokens), blank](const testsupport::ScriptedKernel::Call& call) {
        return call.index < tokens.size() ? tokens[call.index] : blank;
    });
}

void MultilingualTestVariant::addBatchedJoint(const std::vector<std::size_t>& encoderProjShape) {
    Declared batched = declared(Model::jointNoEncProjBatched);
    batched.inputs[0] = multiArrayFeature("encoder_proj", encoderProjShape);
    const std::size_t frames = encoderProjShape.size() > 1 ? encoderProjShape[1] : 1;
    const auto vocabulary = size(configOf(folder() / "metadata.json").vocabSize) + 1;
    batched.outputs = {multiArrayFeature("token_ids", {1, frames}, DataType::int32),
                       multiArrayFeature("logits", {1, frames, 1, vocabulary})};
    write(Model::jointNoEncProjBatched, batched, Form::compiled);
}

void MultilingualTestVariant::emitRows(
    std::function<std::int64_t(const testsupport::ScriptedKernel::Call&, std::size_t)> script) {
    const std::lock_guard lock(mutex_);
    rowScript_ = std::move(script);
}

void MultilingualTestVariant::answerRows(platform::ml::MultiArray& logits,
                                         const testsupport::ScriptedKernel::Call& call) const {
    const auto blank = configOf(folder() / "metadata.json").blankIdx;
    const std::size_t vocabulary = logits.shape()[3];
    for (std::size_t row = 0; row < logits.shape()[1]; ++row) {
        const std::int64_t token = rowScript_ ? rowScript_(call, row) : blank;
        if (token >= 0 && static_cast<std::size_t>(token) < vocabulary) {
            logits.setValue(row * vocabulary + static_cast<std::size_t>(token), 1.0);
        }
    }
}

void MultilingualTestVariant::omitOutput(Model model, const std::string& name) { omitted_[model].insert(name); }

void MultilingualTestVariant::write(Model model, Declared declared, Form form,
                                    const std::vector<nlohmann::json>& states) {
    std::erase_if(declared.outputs, [&](const nlohmann::json& output) {
        return omitted_[model].contains(output.at("name").get<std::string>());
    });
    const std::string name = stem(model) + (form == Form::compiled ? ".mlmodelc" : ".mlpackage");
    const auto bundle = testsupport::writeModelBundle(
        folder(), name, testsupport::modelManifest(kernel(model).name(), declared.inputs, declared.outputs, states));
    if (form == Form::package) {
        std::filesystem::remove(bundle / "coremldata.bin");
    }
    const std::lock_guard lock(mutex_);
    outputs_[model] = declared.outputs;
}

testsupport::ScriptedKernel::Outputs MultilingualTestVariant::answer(Model model,
                                                                     const testsupport::ScriptedKernel::Call& call) {
    // The script runs unlocked: it may look at other kernels, whose predictions lock this variant.
    TokenScript script;
    {
        const std::lock_guard lock(mutex_);
        const auto found = scripts_.find(model);
        script = found == scripts_.end() ? TokenScript{} : found->second;
    }
    const std::int64_t token = script ? script(call) : configOf(folder() / "metadata.json").blankIdx;
    const std::lock_guard lock(mutex_);
    testsupport::ScriptedKernel::Outputs outputs;
    for (const auto& output : outputs_.at(model)) {
        outputs.emplace(output.at("name").get<std::string>(), answerFeature(output, token, call.index));
    }
    if (model == Model::decoder && outputs.contains("decoder_out")) {
        auto& decoderOut = *outputs.at("decoder_out").multiArrayValue();
        for (std::size_t i = 0; i < decoderOut.count(); ++i) {
            decoderOut.setValue(i, call.inputs.at("token").multiArrayValue()->value(0));
        }
    }
    if (model == Model::jointNoEncProjBatched && outputs.contains("logits")) {
        answerRows(*outputs.at("logits").multiArrayValue(), call);
    }
    order_.push_back(stem(model));
    return outputs;
}

platform::ml::FeatureValue MultilingualTestVariant::answerFeature(const nlohmann::json& output, std::int64_t token,
                                                                  std::size_t callIndex) {
    const auto name = output.at("name").get<std::string>();
    const auto dataType = platform::core::fromRawValue<DataType>(output.at("dataType").get<std::string>());
    auto array = EncoderCacheManager::createZeroArray(output.at("shape").get<Shape>(), *dataType);
    const auto& shape = array->shape();
    if (name == "encoded" || name == "encoder_proj") {
        const bool frameLast = name == "encoded";
        for (std::size_t i = 0; i < array->count(); ++i) {
            const std::size_t inner = i % shape[2];
            const std::size_t middle = i / shape[2];
            array->setValue(i, frameLast ? static_cast<double>(100 * inner + middle)
                                         : static_cast<double>(100 * middle + inner));
        }
    } else if (name == "logits" && token >= 0 && static_cast<std::size_t>(token) < array->count()) {
        array->setValue(static_cast<std::size_t>(token), 1.0);
    } else if (name == "token_id") {
        array->setValue(0, static_cast<double>(token));
    } else if (name == "h_out" || name == "c_out") {
        for (std::size_t i = 0; i < array->count(); ++i) {
            array->setValue(i, static_cast<double>(callIndex + 1));
        }
    }
    return platform::ml::FeatureValue(array);
}

std::vector<std::string> MultilingualTestVariant::predictionOrder() const {
    const std::lock_guard lock(mutex_);
    return order_;
}

} // namespace quorl
