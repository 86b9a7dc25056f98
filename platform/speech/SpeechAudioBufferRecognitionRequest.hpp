#pragma once

#include "platform/audio/PCMBuffer.hpp"
#include "platform/core/AsyncStream.hpp"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform::speech {

struct SpeechRecognitionRequestOptions {
    bool shouldReportPartialResults = true;
    bool requiresOnDeviceRecognition = false;
    // Words and phrases the recogniser should expect.
    std::vector<std::string> contextualStrings;
};

// Live audio for one recognition task: the capture side appends buffers of any format, from any thread, and
// ends the audio; the recogniser takes them in order.
class SpeechAudioBufferRecognitionRequest {
public:
    explicit SpeechAudioBufferRecognitionRequest(SpeechRecognitionRequestOptions options = {});

    const SpeechRecognitionRequestOptions& options() const { return options_; }

    // Copies the buffer, which is only lent for the call. Buffers appended after the end are dropped.
    void append(const audio::PCMBuffer& buffer);
    void endAudio();

    // The recogniser's side: the next buffer, waiting for one; none once the audio has ended and every buffer
    // was taken, or when the calling task is cancelled.
    std::optional<std::shared_ptr<const audio::PCMBuffer>> nextBuffer();

private:
    const SpeechRecognitionRequestOptions options_;
    core::AsyncStream<std::shared_ptr<const audio::PCMBuffer>> buffers_;
    core::AsyncStream<std::shared_ptr<const audio::PCMBuffer>>::Continuation input_;
};

} // namespace platform::speech
