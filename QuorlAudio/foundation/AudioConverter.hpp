#pragma once

#include "QuorlAudio/foundation/AppLogger.hpp"
#include "platform/audio/AudioFile.hpp"
#include "platform/audio/AudioFormat.hpp"
#include "platform/audio/PCMBuffer.hpp"
#include "platform/audio/SampleBuffer.hpp"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace quorl {

// Turns any audio reaching the toolkit (PCM buffers, media sample buffers, audio files, sample arrays at a known
// rate) into mono Float32 samples at the target rate. Conversion goes through the platform's format converter,
// except that buffers of three or more channels are averaged to mono and resampled by linear interpolation
// here. Holds no mutable state: one converter may be used from several threads at once.
//
// Failures throw AudioConverterError; errors of opening and reading files are the platform's own and pass
// through unchanged.
class AudioConverter {
public:
    // Target format: the given one, or Float32, 16000 Hz, 1 channel, non-interleaved.
    explicit AudioConverter(std::optional<platform::audio::AudioFormat> targetFormat = std::nullopt,
                            bool debug = false);
    // Target format: Float32, `sampleRate`, 1 channel, non-interleaved. Throws std::invalid_argument when the
    // rate is not a positive finite number.
    explicit AudioConverter(double sampleRate, bool debug = false);

    const platform::audio::AudioFormat& targetFormat() const { return targetFormat_; }
    bool debug() const { return debug_; }

    // A buffer already in the target format is copied (channel 0); any other is converted.
    std::vector<float> resampleBuffer(const platform::audio::PCMBuffer& buffer) const;
    // Always converted, even when already in the target format.
    std::vector<float> resampleSampleBuffer(const platform::audio::SampleBuffer& sampleBuffer) const;
    // The whole file, mono at the target rate.
    std::vector<float> resampleAudioFile(const std::filesystem::path& url) const;
    // Mono samples at `sampleRate` to mono at the target rate; empty stays empty and the target rate is
    // returned unchanged.
    std::vector<float> resample(std::span<const float> samples, double sampleRate) const;
    // A PCM buffer of the sample buffer's own format holding its samples.
    std::shared_ptr<platform::audio::PCMBuffer>
    extractAVAudioPCMBuffer(const platform::audio::SampleBuffer& sampleBuffer) const;

    // The pieces resampleBuffer is made of, which other components combine the same way.
    // True when rate, channel count, common format and interleaving all equal the target format's.
    bool isTargetFormat(const platform::audio::AudioFormat& format) const;
    // Channel 0 for frameLength frames; empty without Float32 channel data or frames.
    std::vector<float> extractFloatArray(const platform::audio::PCMBuffer& buffer) const;
    // Channel 0 of the buffer converted to `format`, the resampler's tail included.
    std::vector<float> convertBuffer(const platform::audio::PCMBuffer& buffer,
                                     const platform::audio::AudioFormat& format) const;

private:
    std::vector<float> linearResample(const platform::audio::PCMBuffer& buffer,
                                      const platform::audio::AudioFormat& format) const;
    std::vector<float> resampleWithAVAudio(std::span<const float> samples, double inputRate, double outputRate) const;
    std::shared_ptr<const platform::audio::PCMBuffer>
    monoFloat32Buffer(std::shared_ptr<platform::audio::PCMBuffer> buffer) const;
    std::vector<float> resampleFileInBlocks(platform::audio::AudioFile& file) const;
    void logConversion(std::uint64_t inputFrames, std::size_t outputFrames) const;

    AppLogger logger_;
    platform::audio::AudioFormat targetFormat_;
    bool debug_;
};

} // namespace quorl
