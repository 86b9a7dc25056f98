#pragma once

#include "platform/speech/PocketsphinxModel.hpp"
#include "platform/speech/SharedPocketsphinxDecoder.hpp"
#include "platform/speech/SpeechRecognizer.hpp"

#include <memory>

namespace platform::core {
class MainQueue;
}

namespace platform::speech {

// A recogniser for one installed pocketsphinx model. Everything runs on this machine.
class PocketsphinxRecognizer final : public SpeechRecognizer {
public:
    PocketsphinxRecognizer(PocketsphinxModel model, core::MainQueue& mainQueue);

    bool supportsOnDeviceRecognition() const override { return true; }
    std::shared_ptr<SpeechRecognitionTask> recognitionTask(std::shared_ptr<SpeechAudioBufferRecognitionRequest> request,
                                                           RecognitionHandler handler) override;

private:
    core::MainQueue& mainQueue_;
    const std::shared_ptr<SharedPocketsphinxDecoder> decoder_;
};

} // namespace platform::speech
