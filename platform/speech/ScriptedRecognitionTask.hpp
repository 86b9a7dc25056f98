#pragma once

#include "platform/core/SystemError.hpp"
#include "platform/speech/SpeechAudioBufferRecognitionRequest.hpp"
#include "platform/speech/SpeechRecognizer.hpp"

#include <memory>

namespace platform::core {
class MainQueue;
}

namespace platform::speech {

// A recognition task whose results the test gives: it lets a test take the branches a real engine cannot be
// made to take on demand (a final result at a chosen moment, an error, no result at all).
class ScriptedRecognitionTask final : public SpeechRecognitionTask {
public:
    ScriptedRecognitionTask(std::shared_ptr<SpeechAudioBufferRecognitionRequest> request, RecognitionHandler handler,
                            core::MainQueue& mainQueue);

    void cancel() override;

    // Posts the result or the error to the handler through the main queue, unless the task is cancelled by
    // then. A final result or an error is the last thing the handler gets.
    void deliver(SpeechRecognitionResult result);
    void fail(core::SystemError error);

    const std::shared_ptr<SpeechAudioBufferRecognitionRequest>& request() const { return request_; }
    bool isCancelled() const { return cancelled_; }

private:
    void post(std::optional<SpeechRecognitionResult> result, std::exception_ptr error, bool last);

    const std::shared_ptr<SpeechAudioBufferRecognitionRequest> request_;
    const std::shared_ptr<RecognitionHandler> handler_;
    core::MainQueue& mainQueue_;
    bool cancelled_ = false;
};

} // namespace platform::speech
