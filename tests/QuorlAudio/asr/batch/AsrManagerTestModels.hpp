#pragma once

#include "QuorlAudio/asr/batch/AsrModelVersion.hpp"
#include "QuorlAudio/asr/batch/AsrModels.hpp"

#include "platform/ml/Model.hpp"
#include "platform/ml/MultiArray.hpp"
#include "tests/support/ScriptedKernel.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <nlohmann/json.hpp>

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace quorl {

// What the scripted joint model answers at one encoder frame (the token spans one frame).
struct JointAnswer {
    int token;
    float probability = 0.9f;
    std::vector<int> topKIds = {};
    std::vector<float> topKLogits = {};
};

// Scripted transducer models for driving AsrManager end to end, written as bundles into a scratch folder and
// loaded through the runtime.
//
// The split front end: a preprocessor taking "audio_signal" and "audio_length" and giving "mel", "mel_length"
// (the audio length / 160) and "mel_frames" (which no encoder declares), then an encoder declaring "mel" and
// "mel_length" and giving "encoder" [1, 1024, 188], whose values at frame t are all t, and "encoder_length".
// The fused tdtCtc110m preprocessor gives "encoder" [1, 512, 188] and "encoder_length" itself. The joint model
// reads the frame from the values it is shown and answers `jointAnswers` there and the blank of the last set
// made everywhere else, always with a duration of one frame (so a window asks about each frame once, and the
// final pass of a last window only about its last frames); the decoder echoes its state back.
class AsrManagerTestModels {
public:
    using Vocabulary = std::unordered_map<int, std::string>;

    // The "model.json" documents of the bundles of one set.
    struct Manifests {
        nlohmann::json preprocessor;
        // Absent for the fused tdtCtc110m.
        std::optional<nlohmann::json> encoder;
        nlohmann::json decoder;
        nlohmann::json joint;
    };

    static constexpr int encoderFrames = 188;

    AsrManagerTestModels();

    // A set of the version with the vocabulary: its encoder width, blank id and decoder depth; the fused front
    // end for tdtCtc110m and the split one otherwise.
    AsrModels modelSet(AsrModelVersion version, Vocabulary vocabulary = {});

    // The documents of the bundles modelSet writes, for a test that writes or serves the bundles itself. From
    // then on the joint answers blanks with the version's blank id, as after modelSet.
    Manifests manifests(AsrModelVersion version);

    // An encoder of width 1024 declaring the inputs instead of "mel" and "mel_length".
    std::shared_ptr<platform::ml::Model> loadEncoder(const std::vector<std::string>& inputs);

    // The frames the joint model was asked about, in order.
    std::vector<int> jointFrames() const;

    std::map<int, JointAnswer> jointAnswers;
    // Outputs the encoder (split) or the fused preprocessor leaves out.
    std::set<std::string> omittedEncoderOutputs;
    int encoderLength = encoderFrames;

    testsupport::ScriptedKernel preprocessor;
    testsupport::ScriptedKernel fusedPreprocessor;
    testsupport::ScriptedKernel encoder;
    testsupport::ScriptedKernel decoder;
    testsupport::ScriptedKernel joint;

private:
    nlohmann::json encoderManifest(const std::vector<std::string>& inputs) const;
    testsupport::ScriptedKernel::Outputs encoderOutputs(const std::shared_ptr<platform::ml::MultiArray>& frames) const;
    testsupport::ScriptedKernel::Outputs jointOutputs(const testsupport::ScriptedKernel::Call& call);

    testsupport::TemporaryFolder folder_;
    std::shared_ptr<platform::ml::MultiArray> wideFrames_;
    std::shared_ptr<platform::ml::MultiArray> narrowFrames_;
    int blankId_ = 8192;
};

// Returns once every job submitted to the shared thread pool before the call has finished, so a test sees the
// effects of a recogniser's background work.
void finishSharedPoolJobs();

} // namespace quorl
