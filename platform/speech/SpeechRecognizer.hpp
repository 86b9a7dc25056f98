#pragma once

#include "platform/speech/SpeechAudioBufferRecognitionRequest.hpp"
#include "platform/speech/SpeechRecognitionResult.hpp"

#include <exception>
#include <functional>
#include <memory>
#include <optional>

namespace platform::speech {

// Receives, on the main queue, either a result or an error (a core::SystemError), never both. A task stops
// calling it once it has delivered a final result or an error, or once it is cancelled.
using RecognitionHandler =
    std::function<void(const std::optional<SpeechRecognitionResult>& result, const std::exception_ptr& error)>;

// A running recognition of one request.
class SpeechRecognitionTask {
public:
    virtual ~SpeechRecognitionTask() = default;
    // Stops recognising; the handler is not called any more. Main queue.
    virtual void cancel() = 0;
};

// A recogniser for one locale.
class SpeechRecognizer {
public:
    virtual ~SpeechRecognizer() = default;

    virtual bool supportsOnDeviceRecognition() const = 0;
    // Starts recognising what is appended to the request. Main queue.
    virtual std::shared_ptr<SpeechRecognitionTask>
    recognitionTask(std::shared_ptr<SpeechAudioBufferRecognitionRequest> request, RecognitionHandler handler) = 0;
};

} // namespace platform::speech
