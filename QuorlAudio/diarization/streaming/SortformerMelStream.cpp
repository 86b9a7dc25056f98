#include "QuorlAudio/diarization/streaming/SortformerMelStream.hpp"

#include "QuorlAudio/diarization/streaming/config/SortformerConfig.hpp"
#include "platform/dsp/Vector.hpp"

#include <cmath>

namespace quorl {
namespace {

constexpr int fftSize = 512;
constexpr float preEmphasis = 0.97f;
constexpr float logFloor = 0x1p-24f;
// Zeros in front of the first sample, as a centred pass adds them.
constexpr std::int64_t padding = fftSize / 2;
constexpr std::int64_t hop = SortformerConfig::melStride;

// The frames whose windows fit in `length` padded samples, each window spanning fftSize of them.
std::int64_t framesFitting(std::int64_t length) { return length < fftSize ? 0 : (length - fftSize) / hop + 1; }

} // namespace

// Pre-emphasis runs here rather than in the front end, so that the zeros padding the end follow the filter as
// they do in a centred pass.
SortformerMelStream::SortformerMelStream()
    : melSpectrogram_(AudioMelSpectrogram::Options{.preemph = 0.0f}), signal_(padding, 0.0f) {}

void SortformerMelStream::append(std::span<const float> samples) {
    if (samples.empty()) {
        return;
    }
    const std::size_t start = signal_.size();
    signal_.resize(start + samples.size());
    float* destination = signal_.data() + start;
    platform::dsp::copy(samples.data(), destination, samples.size());
    destination[0] = samples[0] - lastSample_ * preEmphasis;
    platform::dsp::addScaled(samples.data(), -preEmphasis, destination + 1, samples.size() - 1);
    lastSample_ = samples.back();
    samplesReceived_ += static_cast<std::int64_t>(samples.size());
}

std::vector<float> SortformerMelStream::takeCompleteFrames() {
    return framesUpTo(framesFitting(signalStart_ + static_cast<std::int64_t>(signal_.size())));
}

std::vector<float> SortformerMelStream::takeFinalFrames() {
    std::vector<float> frames;
    if (samplesReceived_ > 0) {
        const std::int64_t total = (samplesReceived_ + 2 * padding - SortformerConfig::melWindow) / hop + 1;
        const std::int64_t paddedLength = (total - 1) * hop + fftSize;
        const std::int64_t available = signalStart_ + static_cast<std::int64_t>(signal_.size());
        if (paddedLength > available) {
            signal_.resize(signal_.size() + static_cast<std::size_t>(paddedLength - available), 0.0f);
        }
        frames = framesUpTo(total);
    }
    reset();
    return frames;
}

void SortformerMelStream::reset() {
    signal_.assign(padding, 0.0f);
    signalStart_ = 0;
    samplesReceived_ = 0;
    framesProduced_ = 0;
    lastSample_ = 0;
}

std::vector<float> SortformerMelStream::wholeRecording(std::span<const float> samples) {
    SortformerMelStream stream;
    stream.append(samples);
    return stream.takeFinalFrames();
}

float SortformerMelStream::silenceValue() { return std::log(logFloor); }

std::vector<float> SortformerMelStream::framesUpTo(std::int64_t frameCount) {
    const std::int64_t count = frameCount - framesProduced_;
    if (count < 1) {
        return {};
    }
    const auto offset = static_cast<std::size_t>(framesProduced_ * hop - signalStart_);
    const auto length = static_cast<std::size_t>((count - 1) * hop + fftSize);
    auto result = melSpectrogram_.computeFlatTransposed(std::span(signal_).subspan(offset, length), 0.0f,
                                                        AudioMelSpectrogram::PaddingMode::prePadded, std::nullopt);
    framesProduced_ = frameCount;
    const std::int64_t nextStart = framesProduced_ * hop;
    signal_.erase(signal_.begin(), signal_.begin() + static_cast<std::ptrdiff_t>(nextStart - signalStart_));
    signalStart_ = nextStart;
    result.mel.resize(static_cast<std::size_t>(count) * SortformerConfig::melFeatures);
    return std::move(result.mel);
}

} // namespace quorl
