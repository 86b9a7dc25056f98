#pragma once

#include "QuorlAudio/foundation/AudioMelSpectrogram.hpp"

#include <cstdint>
#include <span>
#include <vector>

namespace quorl {

// The Sortformer log-mel front end over a live stream (16 kHz, 128 bins, 25 ms Hann windows every 10 ms,
// pre-emphasis 0.97). Every frame equals, value for value, the frame of one centred pass over the whole
// recording, however the audio is split: a frame is computed only once all the samples under its window have
// arrived, and the stream's ends are padded with zeros once, as the centred pass pads them.
class SortformerMelStream {
public:
    SortformerMelStream();

    void append(std::span<const float> samples);
    std::int64_t samplesReceived() const { return samplesReceived_; }
    std::int64_t framesProduced() const { return framesProduced_; }

    // The frames not handed out before whose window lies inside the received audio, frame-major.
    std::vector<float> takeCompleteFrames();
    // The stream has ended: the frames left, their windows reaching past the last sample into zeros. The next
    // sample starts a new stream.
    std::vector<float> takeFinalFrames();
    void reset();

    // The frames of a whole recording, as one centred pass computes them.
    static std::vector<float> wholeRecording(std::span<const float> samples);

    // The value of every bin of a frame of digital silence.
    static float silenceValue();

private:
    std::vector<float> framesUpTo(std::int64_t frameCount);

    AudioMelSpectrogram melSpectrogram_;
    // Pre-emphasised samples behind the leading zero padding; signal_[0] is padded sample signalStart_.
    std::vector<float> signal_;
    std::int64_t signalStart_ = 0;
    std::int64_t samplesReceived_ = 0;
    std::int64_t framesProduced_ = 0;
    float lastSample_ = 0;
};

} // namespace quorl
