#include "StreamingTestAudio.hpp"

#include "platform/audio/AudioFormat.hpp"

#include <algorithm>

namespace quorl {

std::vector<float> streamSamples(std::int64_t first, std::int64_t count) {
    std::vector<float> samples(static_cast<std::size_t>(count));
    for (std::size_t index = 0; index < samples.size(); ++index) {
        samples[index] = static_cast<float>(first + static_cast<std::int64_t>(index) + 1);
    }
    return samples;
}

std::shared_ptr<platform::audio::PCMBuffer> monoBuffer(std::span<const float> samples) {
    const auto format = platform::audio::AudioFormat::make(platform::audio::CommonFormat::float32, 16000, 1, false);
    auto buffer = platform::audio::PCMBuffer::make(*format, static_cast<std::uint32_t>(samples.size()));
    buffer->setFrameLength(static_cast<std::uint32_t>(samples.size()));
    std::ranges::copy(samples, buffer->floatChannelData()[0]);
    return buffer;
}

void streamRange(SlidingWindowAsrManager& manager, std::int64_t first, std::int64_t count, std::size_t bufferFrames) {
    const std::vector<float> samples = streamSamples(first, count);
    for (std::size_t offset = 0; offset < samples.size(); offset += bufferFrames) {
        const std::size_t length = std::min(bufferFrames, samples.size() - offset);
        manager.streamAudio(monoBuffer(std::span(samples).subspan(offset, length)));
    }
}

std::vector<SlidingWindowTranscriptionUpdate> drained(SlidingWindowAsrManager::Updates updates) {
    std::vector<SlidingWindowTranscriptionUpdate> all;
    for (auto& update : updates) {
        all.push_back(update);
    }
    return all;
}

} // namespace quorl
