#pragma once

#include "QuorlAudio/asr/batch/AsrModelVersion.hpp"
#include "QuorlAudio/asr/batch/AsrModels.hpp"

#include "platform/ml/Model.hpp"
#include "platform/ml/MultiArray.hpp"
#include "tests/support/ScriptedKernel.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <functional>
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
//
// For long audio, a recording set (recordingModelSet) reads the time axis from the audio instead: in audio made by
// `recording` every sample tells the number of the recording's encoder frame it lies in, its preprocessor passes
// those numbers on and its encoder gives them as the frame values, so `jointAnswers` are keyed by frames of the
// whole recording and every chunk decodes the tokens scripted for the stretch of the recording it covers.
class AsrManagerTestModels {
public:
    using Vocabulary = std::unordered_map<int, std::string>;

    // What the recording set's preprocessor was asked: the recording's frame at the window's first sample (-1 for
    // a window of silence only), the valid samples ("audio_length"), and the recogniser that asked, told apart by
    // the address of its prediction options (one object per recogniser).
    struct RecordingWindow {
        int firstFrame;
        int audioLength;
        const void* recogniser;
    };
    // Called with every window the recording set's preprocessor is asked about, before it answers and outside any
    // lock, so a test can hold a chunk there or make it fail.
    using WindowGate = std::function<void(const RecordingWindow& window)>;

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

    // The words of a recording: one every `spacing` frames from `firstFrame` while below `endFrame`, scripted as
    // joint answers (probability 0.9) with the ids 100 to 119 in turn, spelled "w0" to "w19".
    struct RecordingScript {
        Vocabulary vocabulary;
        // The words in order, separated by spaces.
        std::string text;
    };
    RecordingScript scriptWords(int firstFrame, int endFrame, int spacing);

    // A recording set of a version with the split front end (v2, v3 or tdtJa). Unlike the scripted kernels, its
    // preprocessor answers windows of several recognisers at once.
    AsrModels recordingModelSet(AsrModelVersion version, Vocabulary vocabulary, WindowGate gate = {});
    // `samples` samples of audio in which every sample tells the number of the encoder frame (1280 samples) it
    // lies in.
    static std::vector<float> recording(std::size_t samples);
    std::vector<RecordingWindow> recordingWindows() const;

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
    testsupport::ScriptedKernel recordingEncoder;

private:
    class RecordingFrontEnd;

    nlohmann::json encoderManifest(const std::vector<std::string>& inputs) const;
    testsupport::ScriptedKernel::Outputs encoderOutputs(const std::shared_ptr<platform::ml::MultiArray>& frames) const;
    testsupport::ScriptedKernel::Outputs jointOutputs(const testsupport::ScriptedKernel::Call& call);

    testsupport::TemporaryFolder folder_;
    std::shared_ptr<platform::ml::MultiArray> wideFrames_;
    std::shared_ptr<platform::ml::MultiArray> narrowFrames_;
    std::shared_ptr<RecordingFrontEnd> recordingFrontEnd_;
    int blankId_ = 8192;
};

// Returns once every job submitted to the shared thread pool before the call has finished, so a test sees the
// effects of a recogniser's background work.
void finishSharedPoolJobs();

} // namespace quorl
