#pragma once

#include "QuorlAudio/foundation/AudioConverter.hpp"
#include "platform/audio/AudioFormat.hpp"
#include "platform/audio/FormatConverter.hpp"
#include "platform/audio/PCMBuffer.hpp"

#include <memory>
#include <vector>

namespace quorl {

// Converts one stream of PCM buffers to mono Float32 at the target rate with one converter kept for the
// whole stream, so the resampler's filter runs on across buffer edges and the stream converts exactly as it
// would in one piece; a converter made per buffer would restart its filter at every edge and leave a
// discontinuity there. Buffers already in the target format are copied unchanged. When the input format
// changes, the old converter's tail is delivered before the new format's samples.
//
// The resampler holds back a few samples of its filter's delay; flush() delivers them at the end of the
// stream. Not synchronised: one stream, one caller at a time.
class StreamingAudioResampler {
public:
    // Throws std::invalid_argument when the rate is not a positive finite number.
    explicit StreamingAudioResampler(double targetSampleRate = 16000);

    const platform::audio::AudioFormat& targetFormat() const { return target_.targetFormat(); }

    // The samples the buffer completes. Throws AudioConverterError when no converter or output buffer can be
    // made or the conversion fails; the stream's converter is then dropped and the next buffer starts afresh.
    std::vector<float> resample(const platform::audio::PCMBuffer& buffer);
    // The samples still held by the converter; the next buffer starts a new stream.
    std::vector<float> flush();
    // Forgets the held samples; the next buffer starts a new stream.
    void reset();

private:
    void appendConverted(const platform::audio::PCMBuffer& buffer, std::vector<float>& samples);

    // The target format, and the copy of channel 0 that both target buffers and converted ones go through.
    AudioConverter target_;
    std::unique_ptr<platform::audio::FormatConverter> converter_;
};

} // namespace quorl
