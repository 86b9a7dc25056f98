#pragma once

#include <cstddef>
#include <span>
#include <vector>

namespace quorl {

// The Cohere encoder's features from 16 kHz mono audio: pre-emphasis, centred frames between zeros, a
// Hann-windowed FFT, a Slaney filterbank, ln(guard + energy), and per-band mean and variance normalisation
// over the frames that hold real audio. Everything is precomputed at construction and the object is
// read-only afterwards, so one front end serves any number of calls at once.
class CohereMelSpectrogram {
public:
    // All fields are required; the encoder needs sampleRate 16000, hopLength 160 and nMels 128 (fMin 0,
    // fMax 8000 and pre-emphasis 0.97 from CohereAsrConfig::MelSpec).
    struct Config {
        // Only places the filterbank on the frequency axis.
        int sampleRate;
        int winLength;
        int hopLength;
        int nMels;
        float fMin;
        float fMax;
        // 0 switches pre-emphasis off.
        float preemph;
        // Exponent of each FFT magnitude: 2 gives a power spectrum.
        float magPower;
        // Added to each mel energy before the logarithm.
        float logZeroGuard;
        // Added to each band's standard deviation before dividing.
        float cmvnEpsilon;
    };

    struct Output {
        // nMels rows of the same number of frames.
        std::vector<std::vector<float>> mel;
        // Frames that hold real audio: samples / hopLength.
        int validFrames;
    };

    struct Padded {
        std::vector<std::vector<float>> mel;
        int featureLength;
    };

    // Throws std::invalid_argument for a hopLength below 1 or nMels below 0, and when no FFT plan can be
    // made for the frame size ("vDSP.FFT setup failed for n=" and the size: a window shorter than 2 samples
    // gives a one-point frame, which the FFT does not take).
    explicit CohereMelSpectrogram(Config config);

    const Config& config() const { return config_; }
    // 1 for a window shorter than 2 samples, otherwise the smallest power of two that holds the window.
    int nFFT() const { return nFFT_; }
    // The symmetric Hann window centred in nFFT zeros.
    const std::vector<float>& paddedWindow() const { return paddedWindow_; }
    // nMels rows of nFFT / 2 + 1 weights, band by FFT bin.
    const std::vector<std::vector<float>>& melFilter() const { return melFilter_; }

    // Any input, the empty one included: nMels rows of samples / hopLength + 1 frames. Frames from
    // validFrames on are 0; with fewer than two valid frames nothing is normalised.
    Output compute(std::span<const float> audio) const;
    int validFrameCount(long samples) const;

    // Every row cut or zero-extended to fixedFrames values (to the first row's length); featureLength is
    // min(validFrames, fixedFrames), or 0 for no rows.
    static Padded padOrTruncate(std::vector<std::vector<float>> mel, int validFrames, int fixedFrames);

private:
    // The bins where a band's weights may be non-zero, so a band sums only over its own triangle.
    struct BinRange {
        std::size_t first;
        std::size_t count;
    };

    std::vector<float> preEmphasisedAndPadded(std::span<const float> audio) const;
    void computeMelEnergies(std::span<const float> padded, std::vector<std::vector<float>>& mel) const;
    void takeLogarithm(std::vector<std::vector<float>>& mel) const;
    void normalise(std::vector<float>& band, std::size_t validFrames) const;
    float magnitude(float real, float imaginary) const;

    Config config_;
    int nFFT_;
    std::size_t bins_;
    std::vector<float> paddedWindow_;
    std::vector<std::vector<float>> melFilter_;
    std::vector<BinRange> bandBins_;
};

} // namespace quorl
