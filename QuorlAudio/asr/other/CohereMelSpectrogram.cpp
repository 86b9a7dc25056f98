#include "QuorlAudio/asr/other/CohereMelSpectrogram.hpp"

#include "QuorlAudio/foundation/AudioMelSpectrogram.hpp"

#include "platform/dsp/FFT.hpp"
#include "platform/dsp/Vector.hpp"

#include <algorithm>
#include <cmath>
#include <complex>
#include <stdexcept>
#include <string>
#include <utility>

namespace quorl {
namespace {

int fftSize(int winLength) {
    if (winLength < 2) {
        return 1;
    }
    int size = 1;
    while (size < winLength) {
        size *= 2;
    }
    return size;
}

std::vector<float> centredWindow(int winLength, int nFFT) {
    const auto window = AudioMelSpectrogram::hannWindow(winLength, false);
    if (winLength >= nFFT) {
        return window;
    }
    std::vector<float> padded(static_cast<std::size_t>(nFFT), 0.0f);
    std::ranges::copy(window, padded.begin() + (nFFT - winLength) / 2);
    return padded;
}

platform::dsp::FFT makePlan(int nFFT) {
    auto plan = platform::dsp::FFT::create(static_cast<std::size_t>(nFFT));
    if (!plan) {
        throw std::invalid_argument("vDSP.FFT setup failed for n=" + std::to_string(nFFT));
    }
    return std::move(*plan);
}

} // namespace

CohereMelSpectrogram::CohereMelSpectrogram(Config config)
    : config_(config), nFFT_(fftSize(config.winLength)), bins_(static_cast<std::size_t>(nFFT_ / 2 + 1)) {
    if (config.hopLength < 1 || config.nMels < 0) {
        throw std::invalid_argument("CohereMelSpectrogram: hopLength must be at least 1 and nMels at least 0");
    }
    makePlan(nFFT_);
    paddedWindow_ = centredWindow(config.winLength, nFFT_);
    melFilter_ = AudioMelSpectrogram::melFilterbank(config.sampleRate, nFFT_, config.nMels, config.fMin, config.fMax);
    for (const auto& weights : melFilter_) {
        const auto isWeight = [](float weight) { return weight != 0.0f; };
        const auto first = std::ranges::find_if(weights, isWeight);
        const auto last = std::find_if(weights.rbegin(), weights.rend(), isWeight).base();
        bandBins_.push_back({.first = static_cast<std::size_t>(first - weights.begin()),
                             .count = first < last ? static_cast<std::size_t>(last - first) : 0});
    }
}

int CohereMelSpectrogram::validFrameCount(long samples) const {
    return static_cast<int>(std::max(samples, 0L) / config_.hopLength);
}

CohereMelSpectrogram::Output CohereMelSpectrogram::compute(std::span<const float> audio) const {
    const auto padded = preEmphasisedAndPadded(audio);
    const std::size_t frames =
        (padded.size() - static_cast<std::size_t>(nFFT_)) / static_cast<std::size_t>(config_.hopLength) + 1;
    std::vector<std::vector<float>> mel(static_cast<std::size_t>(config_.nMels), std::vector<float>(frames, 0.0f));
    computeMelEnergies(padded, mel);
    takeLogarithm(mel);
    const int validFrames = validFrameCount(static_cast<long>(audio.size()));
    const auto valid = std::min(static_cast<std::size_t>(validFrames), frames);
    for (auto& band : mel) {
        normalise(band, valid);
        std::fill(band.begin() + static_cast<std::ptrdiff_t>(valid), band.end(), 0.0f);
    }
    return {.mel = std::move(mel), .validFrames = validFrames};
}

std::vector<float> CohereMelSpectrogram::preEmphasisedAndPadded(std::span<const float> audio) const {
    const std::size_t half = static_cast<std::size_t>(nFFT_ / 2);
    std::vector<float> padded(audio.size() + 2 * half, 0.0f);
    float* signal = padded.data() + half;
    std::ranges::copy(audio, signal);
    if (config_.preemph != 0.0f && audio.size() >= 2) {
        for (std::size_t index = 1; index < audio.size(); ++index) {
            signal[index] = audio[index] - config_.preemph * audio[index - 1];
        }
    }
    return padded;
}

// One frame at a time: window, FFT, magnitudes, then each band's sum over the bins of its own triangle. The
// work buffers are per call, so concurrent calls share nothing.
void CohereMelSpectrogram::computeMelEnergies(std::span<const float> padded,
                                              std::vector<std::vector<float>>& mel) const {
    auto plan = makePlan(nFFT_);
    std::vector<float> frame(static_cast<std::size_t>(nFFT_));
    std::vector<std::complex<float>> spectrum(bins_);
    std::vector<float> magnitudes(bins_);
    const std::size_t frames = mel.empty() ? 0 : mel.front().size();
    for (std::size_t index = 0; index < frames; ++index) {
        const float* start = padded.data() + index * static_cast<std::size_t>(config_.hopLength);
        platform::dsp::multiply(start, paddedWindow_.data(), frame.data(), frame.size());
        plan.forward(frame.data(), spectrum.data());
        for (std::size_t bin = 0; bin < bins_; ++bin) {
            magnitudes[bin] = magnitude(spectrum[bin].real(), spectrum[bin].imag());
        }
        for (std::size_t band = 0; band < mel.size(); ++band) {
            const auto& range = bandBins_[band];
            mel[band][index] =
                platform::dsp::dot(melFilter_[band].data() + range.first, magnitudes.data() + range.first, range.count);
        }
    }
}

float CohereMelSpectrogram::magnitude(float real, float imaginary) const {
    const float squared = real * real + imaginary * imaginary;
    if (config_.magPower == 2.0f) {
        return squared;
    }
    return std::pow(std::sqrt(squared), config_.magPower);
}

void CohereMelSpectrogram::takeLogarithm(std::vector<std::vector<float>>& mel) const {
    for (auto& band : mel) {
        std::ranges::transform(band, band.begin(),
                               [this](float energy) { return std::log(config_.logZeroGuard + energy); });
    }
}

// Mean and sample standard deviation (divisor validFrames - 1) over the valid frames; one frame has no
// deviation, so it keeps its value.
void CohereMelSpectrogram::normalise(std::vector<float>& band, std::size_t validFrames) const {
    if (validFrames < 2) {
        return;
    }
    double sum = 0.0;
    for (std::size_t frame = 0; frame < validFrames; ++frame) {
        sum += band[frame];
    }
    const double mean = sum / static_cast<double>(validFrames);
    double squares = 0.0;
    for (std::size_t frame = 0; frame < validFrames; ++frame) {
        squares += (band[frame] - mean) * (band[frame] - mean);
    }
    double deviation = std::sqrt(squares / static_cast<double>(validFrames - 1));
    if (!std::isfinite(deviation)) {
        deviation = 0.0;
    }
    const double divisor = static_cast<double>(config_.cmvnEpsilon) + deviation;
    for (std::size_t frame = 0; frame < validFrames; ++frame) {
        band[frame] = static_cast<float>((band[frame] - mean) / divisor);
    }
}

CohereMelSpectrogram::Padded CohereMelSpectrogram::padOrTruncate(std::vector<std::vector<float>> mel, int validFrames,
                                                                 int fixedFrames) {
    if (mel.empty()) {
        return {.mel = std::move(mel), .featureLength = 0};
    }
    const int featureLength = std::min(validFrames, fixedFrames);
    const auto fixed = static_cast<std::size_t>(std::max(fixedFrames, 0));
    if (mel.front().size() != fixed) {
        const std::size_t zeros = fixed > mel.front().size() ? fixed - mel.front().size() : 0;
        for (auto& row : mel) {
            if (zeros > 0) {
                row.insert(row.end(), zeros, 0.0f);
            } else {
                row.resize(std::min(row.size(), fixed));
            }
        }
    }
    return {.mel = std::move(mel), .featureLength = featureLength};
}

} // namespace quorl
