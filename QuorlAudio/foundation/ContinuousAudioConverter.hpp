#pragma once

#include "platform/audio/AudioFormat.hpp"
#include "platform/audio/FormatConverter.hpp"
#include "platform/audio/PCMBuffer.hpp"

#include <memory>
#include <vector>

namespace quorl {

// Converts one live stream of PCM buffers to mono Float32 at a target rate with one resampler for the whole
// stream. Converting each buffer on its own would pad every seam with zeros and round every buffer's length
// (a 1024-frame buffer at 48 kHz makes 341 samples, not 341 1/3), so the stream would lose audio and drift;
// here the resampler keeps its filter state and its fraction of a sample from one buffer to the next, and the
// streamed samples equal the conversion of the whole recording at once.
//
// The resampler is made at the first buffer of a format and made again only when the format changes, after
// the earlier one's tail has been flushed; finish() flushes the last one. Each call returns the samples that
// are ready: the resampler holds back the few its filter still needs until more input or the finish comes.
// A buffer already in the target format is taken as it is (channel 0); buffers of three or more channels
// are averaged to mono first, as the toolkit's one-shot conversion does.
//
// Failures throw AudioConverterError and lose that buffer's audio; the stream goes on with the next buffer.
// Not thread-safe: one stream, one caller at a time.
class ContinuousAudioConverter {
public:
    // Target format: Float32, `sampleRate`, 1 channel, non-interleaved. Throws std::invalid_argument when the
    // rate is not a positive finite number.
    explicit ContinuousAudioConverter(double sampleRate);
    ~ContinuousAudioConverter();
    ContinuousAudioConverter(const ContinuousAudioConverter&) = delete;
    ContinuousAudioConverter& operator=(const ContinuousAudioConverter&) = delete;

    std::vector<float> convert(const platform::audio::PCMBuffer& buffer);
    // The samples the resampler still holds; the next buffer starts a new stream.
    std::vector<float> finish();
    // Forgets the held samples; the next buffer starts a new stream.
    void reset();

private:
    void convertMonoOrStereo(const platform::audio::PCMBuffer& buffer);
    void resample(const platform::audio::PCMBuffer& buffer);
    void flushResampler();
    // Runs the converter with `input` until it has delivered all it can, appending to ready_.
    void drain(const platform::audio::FormatConverter::InputBlock& input,
               platform::audio::FormatConverter::OutputStatus until);

    const platform::audio::AudioFormat targetFormat_;
    std::unique_ptr<platform::audio::FormatConverter> converter_;
    std::shared_ptr<platform::audio::PCMBuffer> output_;
    // Converted samples not yet returned; a failed call leaves the tail it flushed here for the next one.
    std::vector<float> ready_;
};

} // namespace quorl
