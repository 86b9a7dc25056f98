#pragma once

#include "platform/speech/SharedPocketsphinxDecoder.hpp"
#include "platform/speech/SpeechAudioBufferRecognitionRequest.hpp"
#include "platform/speech/SpeechRecognizer.hpp"

#include <exception>
#include <memory>
#include <optional>

namespace platform::core {
class DedicatedTask;
class MainQueue;
} // namespace platform::core

namespace platform::speech {

// Recognises one request with pocketsphinx on a thread of its own: each appended buffer is converted to
// 16 kHz mono 16-bit samples and decoded at once, a changed hypothesis is delivered as a partial result, and
// the end of the audio ends the utterance with its final result.
class PocketsphinxTask final : public SpeechRecognitionTask {
public:
    PocketsphinxTask(std::shared_ptr<SharedPocketsphinxDecoder> decoder,
                     std::shared_ptr<SpeechAudioBufferRecognitionRequest> request, RecognitionHandler handler,
                     core::MainQueue& mainQueue);
    // Cancels and waits for the worker.
    ~PocketsphinxTask() override;

    void cancel() override;

private:
    // Main queue only: the handler is dropped once it may not be called any more.
    struct Delivery {
        RecognitionHandler handler;
    };

    void recognise(SharedPocketsphinxDecoder& shared, SpeechAudioBufferRecognitionRequest& request);
    void deliver(std::optional<SpeechRecognitionResult> result, std::exception_ptr error);

    core::MainQueue& mainQueue_;
    const std::shared_ptr<Delivery> delivery_;
    std::unique_ptr<core::DedicatedTask> worker_;
};

} // namespace platform::speech
