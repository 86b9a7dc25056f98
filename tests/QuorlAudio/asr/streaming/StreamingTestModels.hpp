#pragma once

#include "QuorlAudio/asr/batch/AsrModels.hpp"
#include "tests/QuorlAudio/asr/batch/AsrManagerTestModels.hpp"
#include "tests/support/ScriptedKernel.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <condition_variable>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace quorl {

// The scripted v3 models of the batch recogniser's tests, with the preprocessor and the joint model wrapped so
// that each window a recogniser decodes can be scripted, failed, held and inspected on its own. Windows are
// counted by the preprocessor calls; window k's joint model answers windowAnswers[k] (blanks past the list).
class StreamingTestModels {
public:
    using Vocabulary = AsrManagerTestModels::Vocabulary;

    // What the models were given for one window: the audio up to its zero padding (stream samples in the tests
    // are never zero) and the valid length passed with it.
    struct WindowInput {
        std::vector<float> samples;
        int audioLength;
    };

    explicit StreamingTestModels(Vocabulary vocabulary = {});
    ~StreamingTestModels();

    AsrModels modelSet() const { return models_; }

    // Set before streaming starts.
    void scriptWindows(std::vector<std::map<int, JointAnswer>> windowAnswers);
    // The preprocessor of window `index` throws the error.
    void failWindow(int index, std::exception_ptr error);
    // Every window also answers `token` at its last decoded frame. The main loop of the decoder never emits a
    // token there; only the final look at the end of a last window does, so the token marks the last window.
    void markLastFrames(int token);
    // Window `index` waits in its preprocessor until released.
    void holdWindow(int index);

    // Blocks until the held window has reached its preprocessor.
    void waitUntilHeld();
    void release();

    std::vector<WindowInput> windows() const;

private:
    testsupport::ScriptedKernel::Outputs preprocess(const testsupport::ScriptedKernel::Call& call);
    testsupport::ScriptedKernel::Outputs answerJoint(const testsupport::ScriptedKernel::Call& call);
    void waitIfHeld(int window);

    AsrManagerTestModels base_;
    testsupport::TemporaryFolder folder_;
    testsupport::ScriptedKernel preprocessor_;
    testsupport::ScriptedKernel joint_;
    std::shared_ptr<platform::ml::Model> basePreprocessor_;
    std::shared_ptr<platform::ml::Model> baseJoint_;
    AsrModels models_;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::map<int, JointAnswer>> windowAnswers_;
    std::map<int, std::exception_ptr> failures_;
    std::optional<int> marker_;
    std::optional<int> heldWindow_;
    bool held_ = false;
    bool released_ = false;
    std::vector<WindowInput> windows_;
};

} // namespace quorl
