#include "platform/speech/SpeechAudioBufferRecognitionRequest.hpp"

#include <algorithm>
#include <utility>

namespace platform::speech {

namespace {

std::shared_ptr<const audio::PCMBuffer> copyOf(const audio::PCMBuffer& buffer) {
    auto copy = audio::PCMBuffer::make(buffer.format(), buffer.frameLength());
    if (!copy) {
        return nullptr;
    }
    copy->setFrameLength(buffer.frameLength());
    const auto bytes = std::size_t{buffer.frameLength()} * buffer.format().bytesPerFrame();
    for (std::size_t index = 0; index < buffer.bufferCount(); ++index) {
        std::copy_n(buffer.bufferData(index).begin(), bytes, copy->bufferData(index).begin());
    }
    return copy;
}

} // namespace

SpeechAudioBufferRecognitionRequest::SpeechAudioBufferRecognitionRequest(SpeechRecognitionRequestOptions options)
    : options_(std::move(options)), input_(buffers_.continuation()) {}

void SpeechAudioBufferRecognitionRequest::append(const audio::PCMBuffer& buffer) {
    if (auto copy = copyOf(buffer)) {
        input_.yield(std::move(copy));
    }
}

void SpeechAudioBufferRecognitionRequest::endAudio() { input_.finish(); }

std::optional<std::shared_ptr<const audio::PCMBuffer>> SpeechAudioBufferRecognitionRequest::nextBuffer() {
    return buffers_.next();
}

} // namespace platform::speech
