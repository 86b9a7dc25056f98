#include "AsrManagerTestModels.hpp"

#include "platform/core/Concatenated.hpp"
#include "platform/core/ThreadPool.hpp"
#include "platform/ml/FeatureValue.hpp"
#include "platform/ml/KernelRegistry.hpp"
#include "tests/support/ModelBundleWriter.hpp"
#include "tests/support/MultiArrayValues.hpp"

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstddef>
#include <iterator>
#include <mutex>
#include <utility>

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
constexpr std::size_t samplesPerFrame = 1280;
// A recording's sample holds (frame + 1) / 8192, exact in single precision; silence reads as frame -1.
constexpr double frameScale = 8192;
constexpr const char* recordingPreprocessorKernel = "asr-manager-tests-recording-preprocessor";

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
    return modelManifest(
        "asr-manager-tests-joint",
        {multiArrayFeature("encoder_step", {1, hidden, 1}), multiArrayFeature("decoder_step", {1, projectionSize, 1})},
        {multiArrayFeature("token_id", {1, 1, 1}, DataType::int32), multiArrayFeature("token_prob", {1, 1, 1}),
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

// The frame values of a recording set's encoder: at frame t, all the recording frame numbers the preprocessor read.
ScriptedKernel::Outputs recordingEncoderOutputs(const ScriptedKernel::Call& call, std::size_t hidden,
                                                int encoderLength) {
    const auto& mel = call.inputs.at("mel").multiArrayValue();
    std::vector<double> values;
    values.reserve(hidden * frames);
    for (std::size_t row = 0; row < hidden; ++row) {
        for (std::size_t frame = 0; frame < frames; ++frame) {
            values.push_back(mel->value(frame));
        }
    }
    return {
        {"encoder", FeatureValue(makeArray({1, hidden, frames}, values))},
        {"encoder_length", FeatureValue(scalar(encoderLength))},
    };
}

} // namespace

// The recording set's preprocessor: reads the recording frame number at the start of each of a window's frames
// and hands them on as "mel" [1, 188]. It keeps no lock while the gate runs, so windows of several recognisers
// can be held at once.
class AsrManagerTestModels::RecordingFrontEnd {
public:
    class Kernel : public platform::ml::Kernel {
    public:
        explicit Kernel(std::shared_ptr<RecordingFrontEnd> frontEnd) : frontEnd_(std::move(frontEnd)) {}

        std::map<std::string, FeatureValue> predict(const platform::ml::FeatureProvider& input,
                                                    platform::ml::ModelState*,
                                                    const platform::ml::PredictionOptions& options) override {
            return frontEnd_->predict(input, options);
        }

    private:
        std::shared_ptr<RecordingFrontEnd> frontEnd_;
    };

    void setGate(WindowGate gate) {
        std::lock_guard lock(mutex_);
        gate_ = std::move(gate);
    }

    std::vector<RecordingWindow> windows() const {
        std::lock_guard lock(mutex_);
        return windows_;
    }

    std::map<std::string, FeatureValue> predict(const platform::ml::FeatureProvider& input,
                                                const platform::ml::PredictionOptions& options) {
        const auto signal = input.featureValue("audio_signal")->multiArrayValue();
        const double audioLength = input.featureValue("audio_length")->multiArrayValue()->value(0);
        std::vector<double> frameNumbers;
        for (std::size_t frame = 0; frame < frames; ++frame) {
            const double sample = signal->value(frame * samplesPerFrame);
            frameNumbers.push_back(static_cast<double>(std::lround(sample * frameScale) - 1));
        }
        const RecordingWindow window{
            .firstFrame = firstFrame(frameNumbers),
            .audioLength = static_cast<int>(audioLength),
            .recogniser = &options,
        };
        WindowGate gate;
        {
            std::lock_guard lock(mutex_);
            windows_.push_back(window);
            gate = gate_;
        }
        if (gate) {
            gate(window);
        }
        return {
            {"mel", FeatureValue(makeArray({1, frames}, frameNumbers))},
            {"mel_length", FeatureValue(scalar(audioLength / 160))},
        };
    }

private:
    // Counted back from the window's first frame that is not silent, so a window that starts in a pause still
    // tells where it starts.
    static int firstFrame(const std::vector<double>& frameNumbers) {
        const auto sounding = std::ranges::find_if(frameNumbers, [](double frame) { return frame >= 0; });
        if (sounding == frameNumbers.end()) {
            return -1;
        }
        return static_cast<int>(*sounding) - static_cast<int>(std::distance(frameNumbers.begin(), sounding));
    }

    mutable std::mutex mutex_;
    WindowGate gate_;
    std::vector<RecordingWindow> windows_;
};

AsrManagerTestModels::AsrManagerTestModels()
    : preprocessor("asr-manager-tests-preprocessor", melOutputs),
      fusedPreprocessor("asr-manager-tests-fused-preprocessor",
                        [this](const ScriptedKernel::Call&) { return encoderOutputs(narrowFrames_); }),
      encoder("asr-manager-tests-encoder", [this](const ScriptedKernel::Call&) { return encoderOutputs(wideFrames_); }),
      decoder("asr-manager-tests-decoder", decoderOutputs),
      joint("asr-manager-tests-joint", [this](const ScriptedKernel::Call& call) { return jointOutputs(call); }),
      recordingEncoder("asr-manager-tests-recording-encoder",
                       [this](const ScriptedKernel::Call& call) {
                           return recordingEncoderOutputs(call, wideHidden, encoderLength);
                       }),
      wideFrames_(framesArray(wideHidden)), narrowFrames_(framesArray(narrowHidden)),
      recordingFrontEnd_(std::make_shared<RecordingFrontEnd>()) {
    platform::ml::registerKernel(recordingPreprocessorKernel,
                                 [frontEnd = recordingFrontEnd_](const platform::ml::KernelContext&) {
                                     return std::make_unique<RecordingFrontEnd::Kernel>(frontEnd);
                                 });
}

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
        .preprocessor =
            load(documents.encoder ? "Preprocessor.mlmodelc" : "FusedPreprocessor.mlmodelc", documents.preprocessor),
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

AsrModels AsrManagerTestModels::recordingModelSet(AsrModelVersion version, Vocabulary vocabulary, WindowGate gate) {
    blankId_ = blankId(version);
    recordingFrontEnd_->setGate(std::move(gate));
    const auto hidden = static_cast<std::size_t>(encoderHiddenSize(version));
    const auto melFeatures = std::vector<nlohmann::json>{multiArrayFeature("mel", {1, frames}),
                                                         multiArrayFeature("mel_length", {1}, DataType::int32)};
    const auto load = [this](const std::string& bundle, const nlohmann::json& manifest) {
        return platform::ml::Model::load(testsupport::writeModelBundle(folder_.path(), bundle, manifest));
    };
    return AsrModels{
        .encoder = load("RecordingEncoder.mlmodelc",
                        modelManifest(recordingEncoder.name(), melFeatures,
                                      {multiArrayFeature("encoder", {1, hidden, frames}),
                                       multiArrayFeature("encoder_length", {1}, DataType::int32)})),
        .preprocessor = load("RecordingPreprocessor.mlmodelc",
                             modelManifest(recordingPreprocessorKernel, audioInputs(), melFeatures)),
        .decoder = load("RecordingDecoder.mlmodelc", decoderManifest(static_cast<std::size_t>(decoderLayers(version)))),
        .joint = load("RecordingJoint.mlmodelc", jointManifest(hidden)),
        .ctcHead = nullptr,
        .configuration = {},
        .vocabulary = std::move(vocabulary),
        .version = version,
    };
}

AsrManagerTestModels::RecordingScript AsrManagerTestModels::scriptWords(int firstFrame, int endFrame, int spacing) {
    constexpr int words = 20;
    constexpr int firstId = 100;
    RecordingScript script;
    for (int frame = firstFrame, word = 0; frame < endFrame; frame += spacing, word = (word + 1) % words) {
        const std::string spelling = platform::core::concatenated({"w", std::to_string(word)});
        jointAnswers[frame] = JointAnswer{.token = firstId + word, .probability = 0.9f};
        script.vocabulary[firstId + word] = platform::core::concatenated({"\u2581", spelling});
        script.text += script.text.empty() ? spelling : platform::core::concatenated({" ", spelling});
    }
    return script;
}

std::vector<float> AsrManagerTestModels::recording(std::size_t samples) {
    std::vector<float> audio(samples);
    for (std::size_t sample = 0; sample < samples; ++sample) {
        audio[sample] = static_cast<float>(static_cast<double>(sample / samplesPerFrame + 1) / frameScale);
    }
    return audio;
}

std::vector<AsrManagerTestModels::RecordingWindow> AsrManagerTestModels::recordingWindows() const {
    return recordingFrontEnd_->windows();
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
