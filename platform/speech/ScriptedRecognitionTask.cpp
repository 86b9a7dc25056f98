#include "platform/speech/ScriptedRecognitionTask.hpp"

#include "platform/core/MainQueue.hpp"

#include <utility>

namespace platform::speech {

ScriptedRecognitionTask::ScriptedRecognitionTask(std::shared_ptr<SpeechAudioBufferRecognitionRequest> request,
                                                 RecognitionHandler handler, core::MainQueue& mainQueue)
    : request_(std::move(request)), handler_(std::make_shared<RecognitionHandler>(std::move(handler))),
      mainQueue_(mainQueue) {}

void ScriptedRecognitionTask::cancel() {
    cancelled_ = true;
    *handler_ = nullptr;
}

void ScriptedRecognitionTask::deliver(SpeechRecognitionResult result) {
    const bool last = result.isFinal;
    post(std::move(result), nullptr, last);
}

void ScriptedRecognitionTask::fail(core::SystemError error) {
    post(std::nullopt, std::make_exception_ptr(std::move(error)), true);
}

void ScriptedRecognitionTask::post(std::optional<SpeechRecognitionResult> result, std::exception_ptr error, bool last) {
    mainQueue_.async([handler = handler_, result = std::move(result), error = std::move(error), last] {
        if (!*handler) {
            return;
        }
        const auto call = last ? std::exchange(*handler, nullptr) : *handler;
        call(result, error);
    });
}

} // namespace platform::speech
