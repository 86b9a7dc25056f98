#include "StreamingTestModels.hpp"

#include "QuorlAudio/asr/batch/AsrModelVersion.hpp"
#include "QuorlAudio/foundation/ASRConstants.hpp"

#include "platform/ml/DictionaryFeatureProvider.hpp"
#include "platform/ml/Model.hpp"
#include "tests/support/ModelBundleWriter.hpp"

#include <algorithm>
#include <string>
#include <utility>

namespace quorl {

namespace {

using testsupport::ScriptedKernel;

ScriptedKernel::Outputs forwarded(const platform::ml::Model& model, const ScriptedKernel::Call& call) {
    const auto outputs = model.predict(platform::ml::DictionaryFeatureProvider(call.inputs));
    ScriptedKernel::Outputs values;
    for (const auto& name : outputs->featureNames()) {
        values.emplace(name, *outputs->featureValue(name));
    }
    return values;
}

// The decoder looks at min(valid frames, encoder frames) frames of a window.
int lastDecodedFrame(int audioLength) {
    const int frames = (audioLength + ASRConstants::samplesPerEncoderFrame - 1) / ASRConstants::samplesPerEncoderFrame;
    return std::min(frames, AsrManagerTestModels::encoderFrames) - 1;
}

StreamingTestModels::WindowInput windowInput(const ScriptedKernel::Call& call) {
    const auto& signal = *call.inputs.at("audio_signal").multiArrayValue();
    StreamingTestModels::WindowInput input{
        .samples = {},
        .audioLength = static_cast<int>(call.inputs.at("audio_length").multiArrayValue()->value(0)),
    };
    for (std::size_t index = 0; index < signal.count() && signal.value(index) != 0; ++index) {
        input.samples.push_back(static_cast<float>(signal.value(index)));
    }
    return input;
}

} // namespace

StreamingTestModels::StreamingTestModels(Vocabulary vocabulary)
    : preprocessor_("streaming-tests-preprocessor", [this](const auto& call) { return preprocess(call); }),
      joint_("streaming-tests-joint", [this](const auto& call) { return answerJoint(call); }) {
    const AsrModels base = base_.modelSet(AsrModelVersion::v3, std::move(vocabulary));
    basePreprocessor_ = base.preprocessor;
    baseJoint_ = base.joint;
    auto manifests = base_.manifests(AsrModelVersion::v3);
    manifests.preprocessor["kernel"] = preprocessor_.name();
    manifests.joint["kernel"] = joint_.name();
    models_ = base;
    models_.preprocessor = platform::ml::Model::load(
        testsupport::writeModelBundle(folder_.path(), "Preprocessor.mlmodelc", manifests.preprocessor));
    models_.joint =
        platform::ml::Model::load(testsupport::writeModelBundle(folder_.path(), "Joint.mlmodelc", manifests.joint));
}

StreamingTestModels::~StreamingTestModels() { release(); }

void StreamingTestModels::scriptWindows(std::vector<std::map<int, JointAnswer>> windowAnswers) {
    std::lock_guard lock(mutex_);
    windowAnswers_ = std::move(windowAnswers);
}

void StreamingTestModels::failWindow(int index, std::exception_ptr error) {
    std::lock_guard lock(mutex_);
    failures_[index] = std::move(error);
}

void StreamingTestModels::markLastFrames(int token) {
    std::lock_guard lock(mutex_);
    marker_ = token;
}

void StreamingTestModels::holdWindow(int index) {
    std::lock_guard lock(mutex_);
    heldWindow_ = index;
}

void StreamingTestModels::waitUntilHeld() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return held_; });
}

void StreamingTestModels::release() {
    {
        std::lock_guard lock(mutex_);
        released_ = true;
    }
    changed_.notify_all();
}

std::vector<StreamingTestModels::WindowInput> StreamingTestModels::windows() const {
    std::lock_guard lock(mutex_);
    return windows_;
}

ScriptedKernel::Outputs StreamingTestModels::preprocess(const ScriptedKernel::Call& call) {
    int window = 0;
    std::exception_ptr failure;
    {
        std::lock_guard lock(mutex_);
        window = static_cast<int>(windows_.size());
        windows_.push_back(windowInput(call));
        if (const auto found = failures_.find(window); found != failures_.end()) {
            failure = found->second;
        }
    }
    waitIfHeld(window);
    if (failure) {
        std::rethrow_exception(failure);
    }
    return forwarded(*basePreprocessor_, call);
}

ScriptedKernel::Outputs StreamingTestModels::answerJoint(const ScriptedKernel::Call& call) {
    {
        std::lock_guard lock(mutex_);
        const auto window = windows_.size() - 1;
        auto answers = window < windowAnswers_.size() ? windowAnswers_[window] : std::map<int, JointAnswer>{};
        if (marker_) {
            answers[lastDecodedFrame(windows_.back().audioLength)] = JointAnswer{.token = *marker_};
        }
        // Read by the wrapped joint model on this same thread, within this call.
        base_.jointAnswers = std::move(answers);
    }
    return forwarded(*baseJoint_, call);
}

void StreamingTestModels::waitIfHeld(int window) {
    std::unique_lock lock(mutex_);
    if (heldWindow_ != window) {
        return;
    }
    held_ = true;
    changed_.notify_all();
    changed_.wait(lock, [this] { return released_; });
}

} // namespace quorl
