#include "QuorlAudio/foundation/AudioMelSpectrogram.hpp"

#include "platform/dsp/Vector.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <sstream>
#include <stdexcept>
#include <utility>

namespace quorl {
namespace {

// The Slaney mel scale in single precision: linear below 1 kHz (200/3 Hz per mel), logarithmic above it
// with ln(6.4) / 27 per mel. The constants are the single-precision values of those expressions, so the
// break point sits at 1000 / (200/3) rounded to single precision, one unit above 15.
constexpr float hertzPerMel = 66.666664f;
constexpr float breakMel = 15.000001f;
constexpr float breakHertz = 1000.0f;
constexpr float logStep = 0.068751775f;

float hertzToMel(float hertz) {
    if (hertz >= breakHertz) {
        return std::log(hertz / breakHertz) / logStep + breakMel;
    }
    return hertz / hertzPerMel;
}

float melToHertz(float mel) {
    if (mel >= breakMel) {
        return std::exp((mel - breakMel) * logStep) * breakHertz;
    }
    return mel * hertzPerMel;
}

// A width in hertz to divide by: a band narrower than 1e-10 Hz (possible only with fMin close to fMax or
// very many bands) would divide by zero.
float divisor(float width) {
    constexpr float narrowest = 1e-10f;
    return width > narrowest ? width : narrowest;
}

void requireAtLeast(int value, int minimum, const char* name) {
    if (value < minimum) {
        std::ostringstream message;
        message << "AudioMelSpectrogram: " << name << " must be at least " << minimum << ", got " << value;
        throw std::invalid_argument(message.str());
    }
}

} // namespace

AudioMelSpectrogram::AudioMelSpectrogram() : AudioMelSpectrogram(Options{}) {}

AudioMelSpectrogram::AudioMelSpectrogram(const Options& options)
    : nFFT_(options.nFFT), hopLength_(options.hopLength), winLength_(options.winLength), preemph_(options.preemph),
      logFloor_(options.logFloor), logFloorMode_(options.logFloorMode), nMels_(options.nMels),
      padTo_(std::max(options.padTo, 1)) {
    requireAtLeast(options.sampleRate, 1, "sampleRate");
    requireAtLeast(options.nMels, 0, "nMels");
    requireAtLeast(options.nFFT, 1, "nFFT");
    requireAtLeast(options.hopLength, 1, "hopLength");
    requireAtLeast(options.winLength, 0, "winLength");
    if (options.winLength > options.nFFT) {
        throw std::invalid_argument("AudioMelSpectrogram: winLength must not exceed nFFT");
    }
    bins_ = static_cast<std::size_t>(options.nFFT / 2 + 1);
    hannWindow_ = hannWindow(options.winLength, options.windowPeriodic);
    for (const auto& weights : melFilterbank(options.sampleRate, options.nFFT, options.nMels)) {
        addBand(weights);
    }
    fft_ = platform::dsp::FFT::create(static_cast<std::size_t>(options.nFFT));
    frame_.resize(static_cast<std::size_t>(options.nFFT));
    spectrum_.resize(bins_);
    power_.resize(bins_);
    melRow_.resize(static_cast<std::size_t>(options.nMels));
}

void AudioMelSpectrogram::addBand(const std::vector<float>& weights) {
    const auto isWeight = [](float weight) { return weight != 0.0f; };
    const auto first = std::find_if(weights.begin(), weights.end(), isWeight);
    const auto last = std::find_if(weights.rbegin(), weights.rend(), isWeight).base();
    const auto length = first < last ? static_cast<std::size_t>(last - first) : 0;
    bands_.push_back({.firstBin = static_cast<std::size_t>(first - weights.begin()),
                      .weightOffset = bandWeights_.size(),
                      .length = length});
    bandWeights_.insert(bandWeights_.end(), first, first + static_cast<std::ptrdiff_t>(length));
}

std::vector<float> AudioMelSpectrogram::hannWindow(int length, bool periodic) {
    // One unit in the last place below 2 pi in single precision.
    constexpr float twoPi = 6.283185f;
    if (length == 1 && !periodic) {
        // The symmetric formula divides by length - 1; a one-point window passes its sample unchanged.
        return {1.0f};
    }
    const float denominator = static_cast<float>(periodic ? length : length - 1);
    std::vector<float> window(static_cast<std::size_t>(std::max(length, 0)));
    for (std::size_t index = 0; index < window.size(); ++index) {
        window[index] = (1.0f - std::cos(static_cast<float>(index) * twoPi / denominator)) * 0.5f;
    }
    return window;
}

std::vector<std::vector<float>> AudioMelSpectrogram::melFilterbank(int sampleRate, int nFFT, int nMels) {
    return melFilterbank(sampleRate, nFFT, nMels, 0.0f, static_cast<float>(sampleRate) * 0.5f);
}

std::vector<std::vector<float>> AudioMelSpectrogram::melFilterbank(int sampleRate, int nFFT, int nMels, float fMin,
                                                                   float fMax) {
    const float melMin = hertzToMel(fMin);
    const float melMax = hertzToMel(fMax);
    std::vector<float> edges(static_cast<std::size_t>(nMels + 2));
    for (std::size_t point = 0; point < edges.size(); ++point) {
        edges[point] =
            melToHertz(melMin + ((melMax - melMin) * static_cast<float>(point)) / static_cast<float>(nMels + 1));
    }
    std::vector<float> frequencies(static_cast<std::size_t>(nFFT / 2 + 1));
    for (std::size_t bin = 0; bin < frequencies.size(); ++bin) {
        frequencies[bin] = (static_cast<float>(bin) * static_cast<float>(sampleRate)) / static_cast<float>(nFFT);
    }
    std::vector<std::vector<float>> filterbank(static_cast<std::size_t>(nMels),
                                               std::vector<float>(frequencies.size(), 0.0f));
    for (std::size_t band = 0; band < filterbank.size(); ++band) {
        const float left = edges[band];
        const float centre = edges[band + 1];
        const float right = edges[band + 2];
        // Area normalisation: every triangle has the same area whatever its width.
        const float norm = 2.0f / divisor(right - left);
        for (std::size_t bin = 0; bin < frequencies.size(); ++bin) {
            const float frequency = frequencies[bin];
            if (left <= frequency && frequency < centre) {
                filterbank[band][bin] = norm * (frequency - left) / divisor(centre - left);
            } else if (centre <= frequency && frequency <= right) {
                filterbank[band][bin] = norm * (right - frequency) / divisor(right - centre);
            }
        }
    }
    return filterbank;
}

AudioMelSpectrogram::FlatResult AudioMelSpectrogram::computeFlat(std::span<const float> audio, float lastAudioSample) {
    return computeFlat(audio, lastAudioSample, PaddingMode::center, std::nullopt, Layout::melMajor);
}

AudioMelSpectrogram::FlatResult AudioMelSpectrogram::computeFlatTransposed(std::span<const float> audio,
                                                                           float lastAudioSample,
                                                                           PaddingMode paddingMode,
                                                                           std::optional<int> expectedFrameCount) {
    return computeFlat(audio, lastAudioSample, paddingMode, expectedFrameCount, Layout::frameMajor);
}

AudioMelSpectrogram::FlatResult AudioMelSpectrogram::computeFlatTransposed(std::span<const float> audio,
                                                                           float lastAudioSample) {
    return computeFlatTransposed(audio, lastAudioSample, PaddingMode::center, std::nullopt);
}

AudioMelSpectrogram::NestedResult AudioMelSpectrogram::compute(std::span<const float> audio) {
    const long frames = (static_cast<long>(audio.size()) - winLength_) / hopLength_ + 1;
    if (frames <= 0) {
        return {.mel = {}, .melLength = 0};
    }
    const auto frameTotal = static_cast<std::size_t>(frames);
    const auto mels = static_cast<std::size_t>(nMels_);
    std::vector<float> rows(frameTotal * mels);
    const Framing framing{
        .audio = audio, .lead = 0, .placement = 0, .preemphasis = std::nullopt, .lastAudioSample = 0.0f};
    writeFrameMajor(framing, frameTotal, rows.data());
    std::vector<std::vector<float>> matrix(mels, std::vector<float>(frameTotal));
    for (std::size_t frame = 0; frame < frameTotal; ++frame) {
        for (std::size_t band = 0; band < mels; ++band) {
            matrix[band][frame] = rows[frame * mels + band];
        }
    }
    NestedResult result{.mel = {}, .melLength = static_cast<int>(frames)};
    result.mel.push_back(std::move(matrix));
    return result;
}

AudioMelSpectrogram::FlatResult AudioMelSpectrogram::computeFlat(std::span<const float> audio, float lastAudioSample,
                                                                 PaddingMode paddingMode,
                                                                 std::optional<int> expectedFrameCount, Layout layout) {
    const long frames = expectedFrameCount ? *expectedFrameCount : frameCount(audio.size(), paddingMode);
    if (audio.empty() || frames <= 0) {
        return {.mel = std::vector<float>(static_cast<std::size_t>(nMels_), 0.0f), .melLength = 0, .numFrames = 1};
    }
    const long paddedFrames = (frames + padTo_ - 1) / padTo_ * padTo_;
    // The frame-major operation passes the samples through untouched when pre-emphasis is off; the
    // mel-major one always applies the filter, which differs only for non-finite samples.
    const bool passThrough = preemph_ == 0.0f && layout == Layout::frameMajor;
    const Framing framing{
        .audio = audio,
        .lead = paddingMode == PaddingMode::center ? static_cast<std::size_t>(nFFT_ / 2) : 0,
        .placement = static_cast<std::size_t>((nFFT_ - winLength_) / 2),
        .preemphasis = passThrough ? std::nullopt : std::optional<float>(preemph_),
        .lastAudioSample = lastAudioSample,
    };
    // Frames past melLength keep these zeros.
    std::vector<float> out(static_cast<std::size_t>(nMels_) * static_cast<std::size_t>(paddedFrames), 0.0f);
    if (layout == Layout::frameMajor) {
        writeFrameMajor(framing, static_cast<std::size_t>(frames), out.data());
    } else {
        writeMelMajor(framing, static_cast<std::size_t>(frames), static_cast<std::size_t>(paddedFrames), out.data());
    }
    return {.mel = std::move(out), .melLength = static_cast<int>(frames), .numFrames = static_cast<int>(paddedFrames)};
}

long AudioMelSpectrogram::frameCount(std::size_t count, PaddingMode paddingMode) const {
    const auto samples = static_cast<long>(count);
    if (paddingMode == PaddingMode::center) {
        return (samples + 2 * (nFFT_ / 2) - winLength_) / hopLength_ + 1;
    }
    // Division truncates toward zero, so a signal a little shorter than nFFT still yields one frame.
    return std::max((samples - nFFT_) / hopLength_ + 1, 0L);
}

void AudioMelSpectrogram::writeFrameMajor(const Framing& framing, std::size_t frames, float* out) {
    const auto mels = static_cast<std::size_t>(nMels_);
    for (std::size_t frame = 0; frame < frames; ++frame) {
        logMelFrame(framing, frame, out + frame * mels);
    }
}

void AudioMelSpectrogram::writeMelMajor(const Framing& framing, std::size_t frames, std::size_t rowLength, float* out) {
    for (std::size_t frame = 0; frame < frames; ++frame) {
        logMelFrame(framing, frame, melRow_.data());
        for (std::size_t band = 0; band < melRow_.size(); ++band) {
            out[band * rowLength + frame] = melRow_[band];
        }
    }
}

void AudioMelSpectrogram::logMelFrame(const Framing& framing, std::size_t index, float* row) {
    powerSpectrum(framing, index);
    for (std::size_t band = 0; band < bands_.size(); ++band) {
        const Band& weights = bands_[band];
        row[band] = platform::dsp::dot(bandWeights_.data() + weights.weightOffset, power_.data() + weights.firstBin,
                                       weights.length);
    }
    applyLogarithm(row, bands_.size());
}

void AudioMelSpectrogram::powerSpectrum(const Framing& framing, std::size_t index) {
    if (!fft_) {
        // Without a transform of this length every frame reads as silence.
        return;
    }
    platform::dsp::clear(frame_.data(), frame_.size());
    // The audio position under the window's first coefficient, which is negative inside the leading zeros.
    const auto begin = static_cast<std::ptrdiff_t>(index * static_cast<std::size_t>(hopLength_) + framing.placement) -
                       static_cast<std::ptrdiff_t>(framing.lead);
    const auto from = std::max<std::ptrdiff_t>(-begin, 0);
    const auto to = std::min(static_cast<std::ptrdiff_t>(hannWindow_.size()),
                             static_cast<std::ptrdiff_t>(framing.audio.size()) - begin);
    if (from < to) {
        windowSamples(framing, static_cast<std::size_t>(begin + from), static_cast<std::size_t>(to - from),
                      static_cast<std::size_t>(from), frame_.data() + framing.placement + from);
    }
    fft_->forward(frame_.data(), spectrum_.data());
    for (std::size_t bin = 0; bin < bins_; ++bin) {
        const float real = spectrum_[bin].real();
        const float imaginary = spectrum_[bin].imag();
        power_[bin] = real * real + imaginary * imaginary;
    }
}

// Writes audio[first ..< first + count], pre-emphasised when the framing asks for it, times the window from
// coefficient `windowOffset` on.
void AudioMelSpectrogram::windowSamples(const Framing& framing, std::size_t first, std::size_t count,
                                        std::size_t windowOffset, float* destination) const {
    const float* samples = framing.audio.data() + first;
    const float* window = hannWindow_.data() + windowOffset;
    if (!framing.preemphasis) {
        platform::dsp::multiply(samples, window, destination, count);
        return;
    }
    const float coefficient = *framing.preemphasis;
    std::size_t index = 0;
    if (first == 0) {
        destination[0] = (samples[0] - framing.lastAudioSample * coefficient) * window[0];
        index = 1;
    }
    const float scale = -coefficient;
    for (; index < count; ++index) {
        destination[index] = (samples[index] + scale * samples[index - 1]) * window[index];
    }
}

void AudioMelSpectrogram::applyLogarithm(float* values, std::size_t count) const {
    if (logFloorMode_ == LogFloorMode::additive) {
        for (std::size_t index = 0; index < count; ++index) {
            values[index] = std::log(values[index] + logFloor_);
        }
    } else {
        for (std::size_t index = 0; index < count; ++index) {
            values[index] = std::log(std::max(values[index], logFloor_));
        }
    }
}

} // namespace quorl
