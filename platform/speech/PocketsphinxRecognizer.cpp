#include "platform/speech/PocketsphinxRecognizer.hpp"

#include "platform/speech/PocketsphinxTask.hpp"

#include <utility>

namespace platform::speech {

PocketsphinxRecognizer::PocketsphinxRecognizer(PocketsphinxModel model, core::MainQueue& mainQueue)
    : mainQueue_(mainQueue), decoder_(std::make_shared<SharedPocketsphinxDecoder>(std::move(model))) {}

std::shared_ptr<SpeechRecognitionTask>
PocketsphinxRecognizer::recognitionTask(std::shared_ptr<SpeechAudioBufferRecognitionRequest> request,
                                        RecognitionHandler handler) {
    return std::make_shared<PocketsphinxTask>(decoder_, std::move(request), std::move(handler), mainQueue_);
}

} // namespace platform::speech
