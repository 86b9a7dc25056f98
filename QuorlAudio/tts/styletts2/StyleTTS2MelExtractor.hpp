#pragma once

#include "QuorlAudio/tts/styletts2/StyleTTS2Constants.hpp"

#include <cstddef>
#include <span>
#include <vector>

namespace quorl {

// The normalised log-mel spectrogram a StyleTTS2 reference encoder reads: a centred transform with reflect
// padding, a periodic Hann window centred in a longer transform, the power spectrum, an HTK triangular
// filterbank without area normalisation built for its own sample rate, ln(eps + energy) and a fixed mean and
// deviation. Immutable once built; compute() may run on any thread.
class StyleTTS2MelExtractor {
public:
    struct Options {
        int nFFT = StyleTTS2Constants::melNFFT;
        int winLength = StyleTTS2Constants::melWinLength;
        int hopLength = StyleTTS2Constants::melHopLength;
        int nMels = StyleTTS2Constants::melNMels;
        // The rate the filterbank's frequencies are laid out for, whatever the audio's own rate.
        int filterSampleRate = StyleTTS2Constants::melFilterSampleRate;
        float mean = StyleTTS2Constants::melLogMean;
        float std = StyleTTS2Constants::melLogStd;
        float logEpsilon = StyleTTS2Constants::melLogEpsilon;
    };

    struct Result {
        // nMels rows of `frames` values: all frames of bin 0, then of bin 1, and so on.
        std::vector<float> mel;
        int frames = 0;
    };

    // The StyleTTS2 settings.
    StyleTTS2MelExtractor();
    // Throws std::invalid_argument unless 1 <= nFFT, 0 <= winLength <= nFFT, hopLength >= 1 and nMels >= 0.
    explicit StyleTTS2MelExtractor(const Options& options);

    // 1 + samples / hopLength frames; never fails. A transform length the FFT does not take gives zero spectra.
    Result compute(std::span<const float> audio) const;

    int nFreqBins() const { return nFreqBins_; }
    // nMels rows of nFreqBins weights.
    const std::vector<float>& melFilterbankFlat() const { return melFilterbankFlat_; }

private:
    static std::vector<float> hannWindowPadded(int winLength, int nFFT);
    static std::vector<float> htkMelFilterbank(int nMels, int nFFT, int sampleRate, float fMin, float fMax);
    static std::vector<float> reflectPad(std::span<const float> samples, std::size_t pad);

    void melColumn(std::span<const float> spectrumPower, std::size_t frame, std::size_t frames,
                   std::vector<float>& mel) const;

    Options options_;
    int nFreqBins_;
    std::vector<float> window_;
    std::vector<float> melFilterbankFlat_;
};

} // namespace quorl
