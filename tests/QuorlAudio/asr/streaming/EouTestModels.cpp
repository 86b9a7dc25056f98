#include "EouTestModels.hpp"

#include "QuorlAudio/asr/streaming/RnntDecoder.hpp"
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

const std::vector<std::size_t> channelShape{17, 1, 70, 512};
const std::vector<std::size_t> timeShape{17, 1, 512, 8};
const std::vector<std::size_t> stateShape{1, 1, 640};

std::shared_ptr<MultiArray> tokenArray(int token) {
    return testsupport::makeArray({1}, {static_cast<double>(token)}, DataType::int32);
}

} // namespace

EouTestModels::EouTestModels(StreamingChunkSize chunkSize)
    : chunkSize_(chunkSize), encoder_("eou-tests-encoder", [this](const auto& call) { return encode(call); }),
      decoder_("eou-tests-decoder", [this](const auto& call) { return predict(call); }),
      joint_("eou-tests-joint", [this](const auto& call) { return answer(call); }),
      fused_("eou-tests-fused", [this](const auto& call) { return answerFused(call); }) {
    const auto frames = static_cast<std::size_t>(melFrames(chunkSize));
    const auto preCache = static_cast<std::size_t>(preCacheSize(chunkSize));
    testsupport::writeModelBundle(
        folder(), "streaming_encoder.mlmodelc",
        testsupport::modelManifest(encoder_.name(),
                                   {multiArrayFeature("audio_signal", {1, 128, frames}),
                                    multiArrayFeature("audio_length", {1}, DataType::int32),
                                    multiArrayFeature("pre_cache", {1, 128, preCache}),
                                    multiArrayFeature("cache_last_channel", channelShape),
                                    multiArrayFeature("cache_last_time", timeShape),
                                    multiArrayFeature("cache_last_channel_len", {1}, DataType::int32)},
                                   {}));
    testsupport::writeModelBundle(
        folder(), "decoder.mlmodelc",
        testsupport::modelManifest(decoder_.name(),
                                   {multiArrayFeature("targets", {1, 1}, DataType::int32),
                                    multiArrayFeature("target_length", {1}, DataType::int32),
                                    multiArrayFeature("h_in", stateShape), multiArrayFeature("c_in", stateShape)},
                                   {}));
    testsupport::writeModelBundle(folder(), "joint_decision.mlmodelc",
                                  testsupport::modelManifest(joint_.name(),
                                                             {multiArrayFeature("encoder_step", {1, encoderHidden, 1}),
                                                              multiArrayFeature("decoder_step", {1, encoderHidden, 1})},
                                                             {}));
    std::ofstream(folder() / "vocab.json")
        << nlohmann::json{{"1", "\u2581he"}, {"2", "llo"}, {"3", "\u2581world"}, {"4", "!"}, {"5", "\u2581again"}}
               .dump();
}

void EouTestModels::script(int chunk, int frame, std::vector<int> tokens) {
    const std::lock_guard lock(mutex_);
    answers_[chunk * 100 + frame] = std::move(tokens);
}

void EouTestModels::scriptEndOfUtterance(int firstChunk, int lastChunk) {
    const std::lock_guard lock(mutex_);
    for (int chunk = firstChunk; chunk <= lastChunk; ++chunk) {
        for (int frame = 0; frame <= validOutputLen(chunkSize_); ++frame) {
            answers_[chunk * 100 + frame] = {RnntDecoder::eouId};
        }
    }
}

void EouTestModels::writeFusedModel() {
    testsupport::writeModelBundle(
        folder(), "decoder_joint_decision_fused.mlmodelc",
        testsupport::modelManifest(fused_.name(),
                                   {multiArrayFeature("targets", {1, 1}, DataType::int32),
                                    multiArrayFeature("h_in", stateShape), multiArrayFeature("c_in", stateShape),
                                    multiArrayFeature("encoder_step", {1, encoderHidden, 1})},
                                   {}));
}

ScriptedKernel::Outputs EouTestModels::encode(const ScriptedKernel::Call& call) {
    const std::size_t frames = static_cast<std::size_t>(validOutputLen(chunkSize_)) + 1;
    auto encoded = std::make_shared<MultiArray>(MultiArray::Shape{1, encoderHidden, frames}, DataType::float32);
    for (std::size_t frame = 0; frame < frames; ++frame) {
        encoded->at<float>({0, 0, frame}) = static_cast<float>(call.index * 100 + frame);
    }
    return {
        {"encoded_output", encoded},
        {"new_pre_cache", plusOne(*inputArray(call, "pre_cache"))},
        {"new_cache_last_channel", plusOne(*inputArray(call, "cache_last_channel"))},
        {"new_cache_last_time", plusOne(*inputArray(call, "cache_last_time"))},
        {"new_cache_last_channel_len", plusOne(*inputArray(call, "cache_last_channel_len"))},
    };
}

ScriptedKernel::Outputs EouTestModels::predict(const ScriptedKernel::Call& call) {
    const double lastToken = inputArray(call, "targets")->value(0);
    return {
        {"decoder", testsupport::makeArray({1, encoderHidden, 1}, {lastToken, 0, 0, 0})},
        {"h_out", plusOne(*inputArray(call, "h_in"))},
        {"c_out", testsupport::snapshotOf(*inputArray(call, "c_in"))},
    };
}

ScriptedKernel::Outputs EouTestModels::answer(const ScriptedKernel::Call& call) {
    return {{"token_id", tokenArray(nextToken(static_cast<int>(inputArray(call, "encoder_step")->value(0))))}};
}

ScriptedKernel::Outputs EouTestModels::answerFused(const ScriptedKernel::Call& call) {
    return {
        {"token_id", tokenArray(nextToken(static_cast<int>(inputArray(call, "encoder_step")->value(0))))},
        {"h_out", plusOne(*inputArray(call, "h_in"))},
        {"c_out", testsupport::snapshotOf(*inputArray(call, "c_in"))},
    };
}

int EouTestModels::nextToken(int frameMark) {
    const std::lock_guard lock(mutex_);
    auto& tokens = answers_[frameMark];
    if (tokens.empty()) {
        return RnntDecoder::blankId;
    }
    const int token = tokens.front();
    // The end-of-utterance answer holds for every step on its frame.
    if (token != RnntDecoder::eouId) {
        tokens.erase(tokens.begin());
    }
    return token;
}

} // namespace quorl
