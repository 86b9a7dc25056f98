#include "platform/audio/AlsaAudioOutput.hpp"

#include "platform/audio/AlsaPcm.hpp"
#include "platform/audio/SampleCoding.hpp"
#include "platform/core/Concatenated.hpp"
#include "platform/sys/UnifiedLog.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <mutex>

namespace platform::audio {

namespace {

constexpr unsigned int latencyMicroseconds = 100'000;

// The sound as interleaved 16-bit frames with the volume applied, the format every ALSA device takes.
std::vector<std::int16_t> renderedSamples(const PCMBuffer& buffer, float volume) {
    const std::uint32_t channelCount = buffer.format().channelCount();
    std::vector<float> floats(static_cast<std::size_t>(buffer.frameLength()) * channelCount);
    SampleCoding::decode(buffer, 0, buffer.frameLength(), channelCount, floats.data());
    std::vector<std::int16_t> samples(floats.size());
    // The scale of SampleCoding, so a 16-bit sound at full volume reaches the device unchanged.
    constexpr float fullScale = 32768.0F;
    constexpr float lowest = std::numeric_limits<std::int16_t>::min();
    constexpr float highest = std::numeric_limits<std::int16_t>::max();
    for (std::size_t index = 0; index < floats.size(); ++index) {
        const float scaled = std::nearbyint(floats[index] * volume * fullScale);
        // A float file may hold NaN; it is heard as silence.
        samples[index] = std::isnan(scaled) ? 0 : static_cast<std::int16_t>(std::clamp(scaled, lowest, highest));
    }
    return samples;
}

PcmHandle openDevice(const AudioFormat& format) {
    PcmHandle pcm;
    // Opened without blocking so that a busy device fails at once instead of holding up the caller.
    int status = openPcm(pcm, "default", SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
    if (status == 0) {
        status = snd_pcm_nonblock(pcm.get(), 0);
    }
    if (status == 0) {
        status =
            snd_pcm_set_params(pcm.get(), SND_PCM_FORMAT_S16, SND_PCM_ACCESS_RW_INTERLEAVED, format.channelCount(),
                               static_cast<unsigned int>(std::lround(format.sampleRate())), 1, latencyMicroseconds);
    }
    if (status != 0) {
        sys::systemLog(
            core::concatenated({"Audio output: cannot open the default ALSA device: ", snd_strerror(status)}));
        return nullptr;
    }
    return pcm;
}

// Writes every frame, recovering from under-runs; false when the stream fails for good.
bool writeAll(snd_pcm_t* pcm, const std::vector<std::int16_t>& samples, std::uint32_t channelCount) {
    const std::size_t frameCount = samples.size() / channelCount;
    std::size_t written = 0;
    while (written < frameCount) {
        const snd_pcm_sframes_t result =
            snd_pcm_writei(pcm, samples.data() + written * channelCount, frameCount - written);
        if (result >= 0) {
            written += static_cast<std::size_t>(result);
        } else if (snd_pcm_recover(pcm, static_cast<int>(result), 1) != 0) {
            return false;
        }
    }
    return snd_pcm_drain(pcm) == 0;
}

} // namespace

AlsaAudioOutput::~AlsaAudioOutput() {
    std::vector<std::unique_ptr<Playback>> playbacks;
    {
        std::lock_guard lock(mutex_);
        playbacks.swap(playbacks_);
    }
    for (const auto& playback : playbacks) {
        playback->thread.join();
    }
}

bool AlsaAudioOutput::start(std::shared_ptr<const PCMBuffer> buffer, float volume, Completion completion) {
    PcmHandle pcm = openDevice(buffer->format());
    if (!pcm) {
        return false;
    }
    reapFinished();
    auto playback = std::make_unique<Playback>();
    playback->thread = std::thread([pcm = std::move(pcm), samples = renderedSamples(*buffer, volume),
                                    channelCount = buffer->format().channelCount(), completion = std::move(completion),
                                    &done = playback->done] {
        const bool successfully = writeAll(pcm.get(), samples, channelCount);
        completion(successfully);
        done = true;
    });
    std::lock_guard lock(mutex_);
    playbacks_.push_back(std::move(playback));
    return true;
}

void AlsaAudioOutput::reapFinished() {
    std::lock_guard lock(mutex_);
    std::erase_if(playbacks_, [](const std::unique_ptr<Playback>& playback) {
        if (!playback->done) {
            return false;
        }
        playback->thread.join();
        return true;
    });
}

} // namespace platform::audio
