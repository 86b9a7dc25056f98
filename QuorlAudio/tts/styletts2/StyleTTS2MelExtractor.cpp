#include "QuorlAudio/tts/styletts2/StyleTTS2MelExtractor.hpp"

#include "platform/dsp/FFT.hpp"
#include "platform/dsp/Vector.hpp"

#include <algorithm>
#include <cmath>
#include <complex>
#include <stdexcept>

namespace quorl {
namespace {

void require(bool condition, const char* message) {
    if (!condition) {
        throw std::invalid_argument(message);
    }
}

float hzToMel(float hz) { return 2595.0F * std::log10(1.0F + hz / 700.0F); }

float melToHz(float mel) { return 700.0F * (std::pow(10.0F, mel / 2595.0F) - 1.0F); }

// The rising edge up to the centre, the falling edge after it; 0 outside the band or on an empty edge.
float triangleWeight(float frequency, float left, float centre, float right) {
    if (frequency < left || frequency > right) {
        return 0.0F;
    }
    if (frequency <= centre) {
        return centre - left > 0.0F ? (frequency - left) / (centre - left) : 0.0F;
    }
    return right - centre > 0.0F ? (right - frequency) / (right - centre) : 0.0F;
}

} // namespace

StyleTTS2MelExtractor::StyleTTS2MelExtractor() : StyleTTS2MelExtractor(Options{}) {}

StyleTTS2MelExtractor::StyleTTS2MelExtractor(const Options& options)
    : options_(options), nFreqBins_(options.nFFT / 2 + 1) {
    require(options.nFFT >= 1, "StyleTTS2MelExtractor: nFFT must be at least 1");
    require(options.winLength >= 0 && options.winLength <= options.nFFT,
            "StyleTTS2MelExtractor: winLength must lie within 0 ... nFFT");
    require(options.hopLength >= 1, "StyleTTS2MelExtractor: hopLength must be at least 1");
    require(options.nMels >= 0, "StyleTTS2MelExtractor: nMels must not be negative");
    window_ = hannWindowPadded(options.winLength, options.nFFT);
    melFilterbankFlat_ = htkMelFilterbank(options.nMels, options.nFFT, options.filterSampleRate, 0.0F,
                                          static_cast<float>(options.filterSampleRate) * 0.5F);
}

StyleTTS2MelExtractor::Result StyleTTS2MelExtractor::compute(std::span<const float> audio) const {
    const auto nFFT = static_cast<std::size_t>(options_.nFFT);
    const auto padded = reflectPad(audio, nFFT / 2);
    if (padded.size() < nFFT) {
        return {};
    }
    const std::size_t hop = static_cast<std::size_t>(options_.hopLength);
    const std::size_t frames = (padded.size() - nFFT) / hop + 1;
    const auto bins = static_cast<std::size_t>(nFreqBins_);
    Result result{.mel = std::vector<float>(static_cast<std::size_t>(options_.nMels) * frames),
                  .frames = static_cast<int>(frames)};
    // A plan serves one thread at a time, so each call has its own, like its scratch arrays.
    auto fft = platform::dsp::FFT::create(nFFT);
    std::vector<float> windowed(nFFT);
    std::vector<std::complex<float>> spectrum(bins);
    std::vector<float> power(bins);
    for (std::size_t frame = 0; frame < frames; ++frame) {
        platform::dsp::multiply(padded.data() + frame * hop, window_.data(), windowed.data(), nFFT);
        if (fft) {
            fft->forward(windowed.data(), spectrum.data());
        }
        std::ranges::transform(spectrum, power.begin(), [](std::complex<float> value) { return std::norm(value); });
        melColumn(power, frame, frames, result.mel);
    }
    return result;
}

void StyleTTS2MelExtractor::melColumn(std::span<const float> spectrumPower, std::size_t frame, std::size_t frames,
                                      std::vector<float>& mel) const {
    const std::size_t bins = spectrumPower.size();
    for (std::size_t band = 0; band < static_cast<std::size_t>(options_.nMels); ++band) {
        const float energy = platform::dsp::dot(melFilterbankFlat_.data() + band * bins, spectrumPower.data(), bins);
        mel[band * frames + frame] = (std::log(options_.logEpsilon + energy) - options_.mean) / options_.std;
    }
}

std::vector<float> StyleTTS2MelExtractor::hannWindowPadded(int winLength, int nFFT) {
    std::vector<float> window(static_cast<std::size_t>(nFFT), 0.0F);
    const int offset = (nFFT - winLength) / 2;
    // The constant is the one the models were trained with, not the float nearest 2 pi.
    constexpr float twoPi = 6.283185F;
    for (int index = 0; index < winLength; ++index) {
        window[static_cast<std::size_t>(offset + index)] =
            0.5F * (1.0F - std::cos(static_cast<float>(index) * twoPi / static_cast<float>(winLength)));
    }
    return window;
}

std::vector<float> StyleTTS2MelExtractor::htkMelFilterbank(int nMels, int nFFT, int sampleRate, float fMin,
                                                           float fMax) {
    const auto bins = static_cast<std::size_t>(nFFT / 2 + 1);
    const float binWidth = static_cast<float>(sampleRate) / static_cast<float>(nFFT);
    const float melMin = hzToMel(fMin);
    const float melMax = hzToMel(fMax);
    std::vector<float> edges(static_cast<std::size_t>(nMels) + 2);
    for (std::size_t index = 0; index < edges.size(); ++index) {
        edges[index] =
            melToHz(melMin + (melMax - melMin) * (static_cast<float>(index) / static_cast<float>(nMels + 1)));
    }
    std::vector<float> weights(static_cast<std::size_t>(nMels) * bins, 0.0F);
    for (std::size_t band = 0; band < static_cast<std::size_t>(nMels); ++band) {
        for (std::size_t bin = 0; bin < bins; ++bin) {
            const float weight =
                triangleWeight(static_cast<float>(bin) * binWidth, edges[band], edges[band + 1], edges[band + 2]);
            weights[band * bins + bin] = std::max(weight, 0.0F);
        }
    }
    return weights;
}

std::vector<float> StyleTTS2MelExtractor::reflectPad(std::span<const float> samples, std::size_t pad) {
    if (pad == 0) {
        return {samples.begin(), samples.end()};
    }
    const std::size_t count = samples.size();
    std::vector<float> padded(count + 2 * pad, 0.0F);
    if (count == 0) {
        return padded;
    }
    // Input shorter than the pad repeats its last sample at the far left and its first at the far right.
    for (std::size_t position = 0; position < pad; ++position) {
        padded[position] = samples[std::min(count - 1, pad - position)];
        padded[pad + count + position] = samples[count >= position + 2 ? count - 2 - position : 0];
    }
    std::ranges::copy(samples, padded.begin() + static_cast<std::ptrdiff_t>(pad));
    return padded;
}

} // namespace quorl
