#include "NemotronTestModels.hpp"

#include "ScriptedCallArrays.hpp"
#include "tests/support/ModelBundleWriter.hpp"
#include "tests/support/MultiArrayValues.hpp"

#include <nlohmann/json.hpp>

#include <fstream>
#include <utility>

namespace quorl {
namespace {

using platform::ml::DataType;
using platform::ml::MultiArray;
using testsupport::multiArrayFeature;
using testsupport::ScriptedKernel;

std::vector<std::size_t> sizes(const std::vector<std::int64_t>& shape) { return {shape.begin(), shape.end()}; }

nlohmann::json metadataOf(const NemotronStreamingConfig& geometry) {
    return {
        {"sample_rate", geometry.sampleRate},
        {"mel_features", geometry.melFeatures},
        {"chunk_mel_frames", geometry.chunkMelFrames},
        {"chunk_ms", geometry.chunkMs},
        {"pre_encode_cache", geometry.preEncodeCache},
        {"total_mel_frames", geometry.totalMelFrames},
        {"vocab_size", geometry.vocabSize},
        {"blank_idx", geometry.blankIdx},
        {"encoder_dim", geometry.encoderDim},
        {"decoder_hidden", geometry.decoderHidden},
        {"decoder_layers", geometry.decoderLayers},
        {"cache_channel_shape", geometry.cacheChannelShape},
        {"cache_time_shape", geometry.cacheTimeShape},
    };
}

} // namespace

NemotronStreamingConfig NemotronTestModels::smallGeometry() {
    return {
        .sampleRate = 16000,
        .melFeatures = 16,
        .chunkMelFrames = 20,
        .chunkMs = 200,
        .preEncodeCache = 3,
        .totalMelFrames = 23,
        .vocabSize = 6,
        .blankIdx = 6,
        .encoderDim = static_cast<std::int64_t>(encoderWidth),
        .decoderHidden = 4,
        .decoderLayers = 2,
        .cacheChannelShape = {1, 2, 3, 4},
        .cacheTimeShape = {1, 2, 4, 2},
    };
}

NemotronTestModels::NemotronTestModels(const NemotronStreamingConfig& geometry)
    : geometry_(geometry), encoder_("nemotron-tests-encoder", [this](const auto& call) { return encode(call); }),
      decoder_("nemotron-tests-decoder", [this](const auto& call) { return predict(call); }),
      joint_("nemotron-tests-joint", [this](const auto& call) { return answer(call); }),
      fused_("nemotron-tests-fused", [this](const auto& call) { return answerFused(call); }) {
    writeBundles();
    std::ofstream(folder() / "tokenizer.json")
        << nlohmann::json{{"1", "\u2581he"}, {"2", "llo"}, {"3", "\u2581world"}, {"4", "!"}, {"5", "\u2581again"}}
               .dump();
    if (geometry_ != NemotronStreamingConfig{}) {
        std::ofstream(folder() / "metadata.json") << metadataOf(geometry_).dump();
    }
}

void NemotronTestModels::writeBundles() {
    const auto bands = static_cast<std::size_t>(geometry_.melFeatures);
    const std::vector<std::size_t> stateShape{static_cast<std::size_t>(geometry_.decoderLayers), 1,
                                              static_cast<std::size_t>(geometry_.decoderHidden)};
    testsupport::writeModelBundle(folder(), "preprocessor.mlmodelc",
                                  testsupport::modelManifest("nemotron-tests-unused", {}, {}));
    testsupport::writeModelBundle(
        folder(), "encoder/encoder_int8.mlmodelc",
        testsupport::modelManifest(
            encoder_.name(),
            {multiArrayFeature("mel", {1, bands, static_cast<std::size_t>(geometry_.totalMelFrames)}),
             multiArrayFeature("mel_length", {1}, DataType::int32),
             multiArrayFeature("cache_channel", sizes(geometry_.cacheChannelShape)),
             multiArrayFeature("cache_time", sizes(geometry_.cacheTimeShape)),
             multiArrayFeature("cache_len", {1}, DataType::int32)},
            {}));
    testsupport::writeModelBundle(
        folder(), "decoder.mlmodelc",
        testsupport::modelManifest(decoder_.name(),
                                   {multiArrayFeature("token", {1, 1}, DataType::int32),
                                    multiArrayFeature("token_length", {1}, DataType::int32),
                                    multiArrayFeature("h_in", stateShape), multiArrayFeature("c_in", stateShape)},
                                   {}));
    testsupport::writeModelBundle(folder(), "joint.mlmodelc",
                                  testsupport::modelManifest(joint_.name(),
                                                             {multiArrayFeature("encoder", {1, encoderWidth, 1}),
                                                              multiArrayFeature("decoder", {1, decoderWidth, 1})},
                                                             {}));
}

void NemotronTestModels::writeFusedModel() {
    const std::vector<std::size_t> stateShape{static_cast<std::size_t>(geometry_.decoderLayers), 1,
                                              static_cast<std::size_t>(geometry_.decoderHidden)};
    testsupport::writeModelBundle(
        folder(), "decoder_joint.mlmodelc",
        testsupport::modelManifest(fused_.name(),
                                   {multiArrayFeature("token", {1, 1}, DataType::int32),
                                    multiArrayFeature("token_length", {1}, DataType::int32),
                                    multiArrayFeature("h_in", stateShape), multiArrayFeature("c_in", stateShape),
                                    multiArrayFeature("encoder", {1, encoderWidth, 1})},
                                   {}));
}

void NemotronTestModels::script(int call, int frame, std::vector<int> tokens) {
    const std::lock_guard lock(mutex_);
    answers_[call * 100 + frame] = std::move(tokens);
}

void NemotronTestModels::omitOutputs(std::set<std::string> names) {
    const std::lock_guard lock(mutex_);
    omitted_ = std::move(names);
}

void NemotronTestModels::answerZerosOnce() {
    const std::lock_guard lock(mutex_);
    zerosOnce_ = true;
}

ScriptedKernel::Outputs NemotronTestModels::encode(const ScriptedKernel::Call& call) {
    auto encoded = std::make_shared<MultiArray>(MultiArray::Shape{1, encoderWidth, encoderFrames}, DataType::float32);
    std::fill_n(encoded->data<float>(), encoded->count(), 0.0f);
    bool zeros = false;
    {
        const std::lock_guard lock(mutex_);
        zeros = std::exchange(zerosOnce_, false);
    }
    for (std::size_t frame = 0; frame < encoderFrames && !zeros; ++frame) {
        encoded->at<float>({0, 0, frame}) = static_cast<float>(call.index * 100 + frame);
        encoded->at<float>({0, 1, frame}) = 1.0f;
    }
    return withoutOmitted({
        {"encoded", encoded},
        {"cache_channel_out", plusOne(*inputArray(call, "cache_channel"))},
        {"cache_time_out", plusOne(*inputArray(call, "cache_time"))},
        {"cache_len_out", plusOne(*inputArray(call, "cache_len"))},
    });
}

ScriptedKernel::Outputs NemotronTestModels::predict(const ScriptedKernel::Call& call) {
    const double lastToken = inputArray(call, "token")->value(0);
    // Time index 1 holds a decoy the engine must not read.
    return withoutOmitted({
        {"decoder_out", testsupport::makeArray({1, decoderWidth, 2}, {lastToken, -1, 0, 0, 0, 0, 0, 0})},
        {"h_out", plusOne(*inputArray(call, "h_in"))},
        {"c_out", testsupport::snapshotOf(*inputArray(call, "c_in"))},
    });
}

ScriptedKernel::Outputs NemotronTestModels::answer(const ScriptedKernel::Call& call) {
    return withoutOmitted({{"logits", logitsFor(call)}});
}

ScriptedKernel::Outputs NemotronTestModels::answerFused(const ScriptedKernel::Call& call) {
    return withoutOmitted({
        {"logits", logitsFor(call)},
        {"h_out", plusOne(*inputArray(call, "h_in"))},
        {"c_out", testsupport::snapshotOf(*inputArray(call, "c_in"))},
    });
}

std::shared_ptr<MultiArray> NemotronTestModels::logitsFor(const ScriptedKernel::Call& call) {
    const int frameMark = static_cast<int>(inputArray(call, "encoder")->value(0));
    int token = static_cast<int>(geometry_.blankIdx);
    {
        const std::lock_guard lock(mutex_);
        auto& tokens = answers_[frameMark];
        if (!tokens.empty()) {
            token = tokens.front();
            tokens.erase(tokens.begin());
        }
    }
    const auto classes = static_cast<std::size_t>(geometry_.blankIdx) + 1;
    auto logits = std::make_shared<MultiArray>(MultiArray::Shape{1, 1, 1, classes}, DataType::float32);
    std::fill_n(logits->data<float>(), classes, 0.0f);
    logits->data<float>()[token] = 5.0f;
    return logits;
}

ScriptedKernel::Outputs NemotronTestModels::withoutOmitted(ScriptedKernel::Outputs outputs) {
    const std::lock_guard lock(mutex_);
    for (const auto& name : omitted_) {
        outputs.erase(name);
    }
    return outputs;
}

} // namespace quorl
