#include "UnifiedTestModels.hpp"

#include "ScriptedCallArrays.hpp"
#include "tests/support/ModelBundleWriter.hpp"
#include "tests/support/MultiArrayValues.hpp"

#include <nlohmann/json.hpp>

#include <fstream>
#include <utility>

namespace quorl {
namespace {

namespace files = ModelNames::ParakeetUnified;
using platform::ml::DataType;
using platform::ml::MultiArray;
using testsupport::multiArrayFeature;
using testsupport::ScriptedKernel;

constexpr std::size_t melFramesPerEncoderFrame = 8;

std::size_t melFrames(std::int64_t windowSamples) { return static_cast<std::size_t>(windowSamples / 160 + 1); }

} // namespace

UnifiedTestModels::UnifiedTestModels()
    : encoder_("unified-tests-encoder", [this](const auto& call) { return encode(call); }),
      decoder_("unified-tests-decoder", [this](const auto& call) { return predict(call); }),
      joint_("unified-tests-joint", [this](const auto& call) { return answer(call); }) {
    const UnifiedConfig config;
    writeStreamingEncoder(config, UnifiedEncoderPrecision::int8);
    writeOfflineEncoder(UnifiedEncoderPrecision::int8);
    const std::vector<std::size_t> state{static_cast<std::size_t>(config.decoderLayers), 1,
                                         static_cast<std::size_t>(config.decoderHidden)};
    testsupport::writeModelBundle(
        folder(), std::string(files::decoderFile),
        testsupport::modelManifest(decoder_.name(),
                                   {multiArrayFeature("targets", {1, 1}, DataType::int32),
                                    multiArrayFeature("target_length", {1}, DataType::int32),
                                    multiArrayFeature("h_in", state), multiArrayFeature("c_in", state)},
                                   {}));
    testsupport::writeModelBundle(folder(), std::string(files::jointDecisionFile),
                                  testsupport::modelManifest(joint_.name(),
                                                             {multiArrayFeature("encoder_step", {1, encoderWidth, 1}),
                                                              multiArrayFeature("decoder_step", {1, encoderWidth, 1})},
                                                             {}));
    std::ofstream(folder() / "vocab.json")
        << nlohmann::json{{"1", "\u2581he"}, {"2", "llo"}, {"3", "\u2581world"}, {"4", "!"}, {"5", "\u2581again"}}
               .dump();
    std::ofstream(folder() / "metadata.json") << R"({"note": "never read"})";
}

void UnifiedTestModels::writeStreamingEncoder(const UnifiedConfig& config, UnifiedEncoderPrecision precision) const {
    writeEncoder(files::streamingEncoderFile(precision, config.contextSuffix()), melFrames(config.windowSamples()));
}

void UnifiedTestModels::writeOfflineEncoder(UnifiedEncoderPrecision precision) const {
    writeEncoder(std::string(files::offlineEncoderFile(precision)), melFrames(240000));
}

void UnifiedTestModels::writeEncoder(const std::string& name, std::size_t frames) const {
    testsupport::writeModelBundle(folder(), name,
                                  testsupport::modelManifest(encoder_.name(),
                                                             {multiArrayFeature("mel", {1, 128, frames}),
                                                              multiArrayFeature("mel_length", {1}, DataType::int32)},
                                                             {}));
}

void UnifiedTestModels::script(int call, int frame, std::vector<int> tokens) {
    const std::lock_guard lock(mutex_);
    answers_[call * 1000 + frame] = std::move(tokens);
}

void UnifiedTestModels::omitOutputs(std::set<std::string> names) {
    const std::lock_guard lock(mutex_);
    omitted_ = std::move(names);
}

ScriptedKernel::Outputs UnifiedTestModels::encode(const ScriptedKernel::Call& call) {
    const std::size_t frames = inputArray(call, "mel")->shape()[2] / melFramesPerEncoderFrame;
    const auto validMel = static_cast<std::size_t>(inputArray(call, "mel_length")->value(0));
    auto encoded = std::make_shared<MultiArray>(MultiArray::Shape{1, encoderWidth, frames}, DataType::float32);
    for (std::size_t frame = 0; frame < frames; ++frame) {
        encoded->at<float>({0, 0, frame}) = static_cast<float>(call.index * 1000 + frame);
        encoded->at<float>({0, 1, frame}) = 1.0f;
    }
    const double valid = static_cast<double>((validMel + melFramesPerEncoderFrame - 1) / melFramesPerEncoderFrame);
    return withoutOmitted({
        {"encoder", encoded},
        {"encoder_length", testsupport::makeArray({1}, {valid}, DataType::int32)},
    });
}

ScriptedKernel::Outputs UnifiedTestModels::predict(const ScriptedKernel::Call& call) {
    const double lastToken = inputArray(call, "targets")->value(0);
    const double h = inputArray(call, "h_in")->value(0);
    return withoutOmitted({
        {"decoder", testsupport::makeArray({1, encoderWidth, 1}, {lastToken, h})},
        {"h_out", plusOne(*inputArray(call, "h_in"))},
        {"c_out", testsupport::snapshotOf(*inputArray(call, "c_in"))},
    });
}

ScriptedKernel::Outputs UnifiedTestModels::answer(const ScriptedKernel::Call& call) {
    const int frameMark = static_cast<int>(inputArray(call, "encoder_step")->value(0));
    int token = static_cast<int>(UnifiedConfig{}.blankIdx);
    {
        const std::lock_guard lock(mutex_);
        auto& tokens = answers_[frameMark];
        if (!tokens.empty()) {
            token = tokens.front();
            tokens.erase(tokens.begin());
        }
    }
    return withoutOmitted({
        {"token_id", testsupport::makeArray({1}, {static_cast<double>(token)}, DataType::int32)},
        {"token_prob", testsupport::makeArray({1}, {token / 10.0})},
    });
}

ScriptedKernel::Outputs UnifiedTestModels::withoutOmitted(ScriptedKernel::Outputs outputs) {
    const std::lock_guard lock(mutex_);
    for (const auto& name : omitted_) {
        outputs.erase(name);
    }
    return outputs;
}

} // namespace quorl
