#include "AsrManagerTestModels.hpp"

#include "platform/core/Concatenated.hpp"
#include "platform/core/ThreadPool.hpp"
#include "platform/ml/FeatureValue.hpp"
#include "tests/support/ModelBundleWriter.hpp"
#include "tests/support/MultiArrayValues.hpp"

#include <condition_variable>
#include <cstddef>
#include <mutex>

namespace quorl {

namespace {

using platform::ml::DataType;
using platform::ml::FeatureValue;
using testsupport::makeArray;
using testsupport::modelManifest;
using testsupport::multiArrayFeature;
using testsupport::ScriptedKernel;

constexpr std::size_t windowSamples = 240000;
constexpr std::size_t projectionSize = 640;
constexpr std::size_t wideHidden = 1024;
constexpr std::size_t narrowHidden = 512;
constexpr std::size_t frames = AsrManagerTestModels::encoderFrames;

std::shared_ptr<platform::ml::MultiArray> framesArray(std::size_t hidden) {
    std::vector<double> values;
    values.reserve(hidden * frames);
    for (std::size_t row = 0; row < hidden; ++row) {
        for (std::size_t frame = 0; frame < frames; ++frame) {
            values.push_back(static_cast<double>(frame));
        }
    }
    return makeArray({1, hidden, frames}, values);
}

std::shared_ptr<platform::ml::MultiArray> scalar(double value) { return makeArray({1}, {value}, DataType::int32); }

double firstValue(const ScriptedKernel::Call& call, const std::string& name) {
    return call.inputs.at(name).multiArrayValue()->value(0);
}

std::vector<nlohmann::json> audioInputs() {
    return {multiArrayFeature("audio_signal", {1, windowSamples}),
            multiArrayFeature("audio_length", {1}, DataType::int32)};
}

nlohmann::json decoderManifest(std::size_t layers) {
    const std::vector<std::size_t> recurrent{layers, 1, projectionSize};
    return modelManifest("asr-manager-tests-decoder",
                         {multiArrayFeature("targets", {1, 1}, DataType::int32),
                          multiArrayFeature("target_length", {1}, DataType::int32),
                          multiArrayFeature("h_in", recurrent), multiArrayFeature("c_in", recurrent)},
                         {multiArrayFeature("decoder", {1, 1, projectionSize}), multiArrayFeature("h_out", recurrent),
                          multiArrayFeature("c_out", recurrent)});
}

nlohmann::json jointManifest(std::size_t hidden) {
    return modelManifest("asr-manager-tests-joint",
                         {multiArrayFeature("encoder_step", {1, hidden, 1}),
                          multiArrayFeature("decoder_step", {1, projectionSize, 1})},
                         {multiArrayFeature("token_id", {1, 1, 1}, DataType::int32),
                          multiArrayFeature("token_prob", {1, 1, 1}),
                          multiArrayFeature("duration", {1, 1, 1}, DataType::int32)});
}

// The recurrent state comes back as it went in; the projection carries the label.
ScriptedKernel::Outputs decoderOutputs(const ScriptedKernel::Call& call) {
    const auto& hidden = call.inputs.at("h_in").multiArrayValue();
    const auto& cell = call.inputs.at("c_in").multiArrayValue();
    const double label = firstValue(call, "targets");
    return {
        {"decoder", FeatureValue(makeArray({1, 1, projectionSize}, std::vector<double>(projectionSize, label)))},
        {"h_out", FeatureValue(testsupport::snapshotOf(*hidden))},
        {"c_out", FeatureValue(testsupport::snapshotOf(*cell))},
    };
}

ScriptedKernel::Outputs melOutputs(const ScriptedKernel::Call& call) {
    const double audioLength = firstValue(call, "audio_length");
    return {
        {"mel", FeatureValue(makeArray({1, 2, 4}, std::vector<double>(8, 0.5)))},
        {"mel_length", FeatureValue(scalar(audioLength / 160))},
        {"mel_frames", FeatureValue(scalar(4))},
    };
}

} // namespace

AsrManagerTestModels::AsrManagerTestModels()
    : preprocessor("asr-manager-tests-preprocessor", melOutputs),
      fusedPreprocessor("asr-manager-tests-fused-preprocessor",
                        [this](const ScriptedKernel::Call&) { return encoderOutputs(narrowFrames_); }),
      encoder("asr-manager-tests-encoder",
              [this](const ScriptedKernel::Call&) { return encoderOutputs(wideFrames_); }),
      decoder("asr-manager-tests-decoder", decoderOutputs),
      joint("asr-manager-tests-joint", [this](const ScriptedKernel::Call& call) { return jointOutputs(call); }),
      wideFrames_(framesArray(wideHidden)),
      narrowFrames_(framesArray(narrowHidden)) {}

AsrModels AsrManagerTestModels::modelSet(AsrModelVersion version, Vocabulary vocabulary) {
    const Manifests documents = manifests(version);
    const auto load = [this](const std::string& bundle, const nlohmann::json& manifest) {
        return platform::ml::Model::load(testsupport::writeModelBundle(folder_.path(), bundle, manifest));
    };
    const auto bundleName = [](const char* model, int number) {
        return platform::core::concatenated({model, std::to_string(number), ".mlmodelc"});
    };
    return AsrModels{
        .encoder = documents.encoder ? loadEncoder({"mel", "mel_length"}) : nullptr,
        .preprocessor = load(documents.encoder ? "Preprocessor.mlmodelc" : "FusedPreprocessor.mlmodelc",
                             documents.preprocessor),
        .decoder = load(bundleName("Decoder", decoderLayers(version)), documents.decoder),
        .joint = load(bundleName("Joint", encoderHiddenSize(version)), documents.joint),
        .ctcHead = nullptr,
        .configuration = {},
        .vocabulary = std::move(vocabulary),
        .version = version,
    };
}

AsrManagerTestModels::Manifests AsrManagerTestModels::manifests(AsrModelVersion version) {
    blankId_ = blankId(version);
    const auto layers = static_cast<std::size_t>(decoderLayers(version));
    const auto hidden = static_cast<std::size_t>(encoderHiddenSize(version));
    if (hasFusedEncoder(version)) {
        return Manifests{.preprocessor = modelManifest(fusedPreprocessor.name(), audioInputs(),
                                                       {multiArrayFeature("encoder", {1, hidden, frames}),
                                                        multiArrayFeature("encoder_length", {1}, DataType::int32)}),
                         .encoder = std::nullopt,
                         .decoder = decoderManifest(layers),
                         .joint = jointManifest(hidden)};
    }
    return Manifests{.preprocessor = modelManifest(preprocessor.name(), audioInputs(),
                                                   {multiArrayFeature("mel", {1, 2, 4}),
                                                    multiArrayFeature("mel_length", {1}, DataType::int32),
                                                    multiArrayFeature("mel_frames", {1}, DataType::int32)}),
                     .encoder = encoderManifest({"mel", "mel_length"}),
                     .decoder = decoderManifest(layers),
                     .joint = jointManifest(hidden)};
}

std::shared_ptr<platform::ml::Model> AsrManagerTestModels::loadEncoder(const std::vector<std::string>& inputs) {
    std::string bundle = "Encoder";
    for (const auto& name : inputs) {
        bundle += platform::core::concatenated({"-", name});
    }
    bundle += ".mlmodelc";
    return platform::ml::Model::load(testsupport::writeModelBundle(folder_.path(), bundle, encoderManifest(inputs)));
}

nlohmann::json AsrManagerTestModels::encoderManifest(const std::vector<std::string>& inputs) const {
    std::vector<nlohmann::json> declared;
    for (const auto& name : inputs) {
        declared.push_back(name == "mel" ? multiArrayFeature(name, {1, 2, 4})
                                         : multiArrayFeature(name, {1}, DataType::int32));
    }
    return modelManifest(encoder.name(), declared,
                         {multiArrayFeature("encoder", {1, wideHidden, frames}),
                          multiArrayFeature("encoder_length", {1}, DataType::int32)});
}

std::vector<int> AsrManagerTestModels::jointFrames() const {
    std::vector<int> asked;
    for (const auto& call : joint.calls()) {
        asked.push_back(static_cast<int>(firstValue(call, "encoder_step")));
    }
    return asked;
}

ScriptedKernel::Outputs
AsrManagerTestModels::encoderOutputs(const std::shared_ptr<platform::ml::MultiArray>& encoderFrames) const {
    ScriptedKernel::Outputs outputs{
        {"encoder", FeatureValue(encoderFrames)},
        {"encoder_length", FeatureValue(scalar(encoderLength))},
    };
    for (const auto& name : omittedEncoderOutputs) {
        outputs.erase(name);
    }
    return outputs;
}

ScriptedKernel::Outputs AsrManagerTestModels::jointOutputs(const ScriptedKernel::Call& call) {
    const int frame = static_cast<int>(firstValue(call, "encoder_step"));
    JointAnswer answer{.token = blankId_};
    if (const auto scripted = jointAnswers.find(frame); scripted != jointAnswers.end()) {
        answer = scripted->second;
    }
    ScriptedKernel::Outputs outputs{
        {"token_id", FeatureValue(makeArray({1, 1, 1}, {static_cast<double>(answer.token)}, DataType::int32))},
        {"token_prob", FeatureValue(makeArray({1, 1, 1}, {answer.probability}))},
        {"duration", FeatureValue(makeArray({1, 1, 1}, {1}, DataType::int32))},
    };
    if (!answer.topKIds.empty()) {
        const std::vector<double> ids(answer.topKIds.begin(), answer.topKIds.end());
        const std::vector<double> logits(answer.topKLogits.begin(), answer.topKLogits.end());
        outputs.emplace("top_k_ids", FeatureValue(makeArray({ids.size()}, ids, DataType::int32)));
        outputs.emplace("top_k_logits", FeatureValue(makeArray({logits.size()}, logits)));
    }
    return outputs;
}

void finishSharedPoolJobs() {
    // Every worker is given a job that waits until all of them run at once. The pool takes jobs in submission
    // order, so by then every earlier job has been taken and, its worker having moved on, has finished.
    struct Barrier {
        std::mutex mutex;
        std::condition_variable changed;
        std::size_t arrived = 0;
    };
    auto& pool = platform::core::ThreadPool::shared();
    const std::size_t workers = pool.threadCount();
    const auto barrier = std::make_shared<Barrier>();
    for (std::size_t worker = 0; worker < workers; ++worker) {
        pool.submit([barrier, workers] {
            std::unique_lock lock(barrier->mutex);
            ++barrier->arrived;
            barrier->changed.notify_all();
            barrier->changed.wait(lock, [&] { return barrier->arrived >= workers; });
        });
    }
    std::unique_lock lock(barrier->mutex);
    barrier->changed.wait(lock, [&] { return barrier->arrived >= workers; });
}

} // namespace quorl
