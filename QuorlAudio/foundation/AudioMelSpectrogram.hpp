#pragma once

#include "platform/dsp/FFT.hpp"

#include <complex>
#include <cstddef>
#include <optional>
#include <span>
#include <vector>

namespace quorl {

// The configurable log-mel front end: Hann-windowed frames with optional pre-emphasis, a power spectrum, a
// Slaney-style mel filterbank with area normalisation and a natural logarithm with a floor. The compute
// operations reuse scratch memory, so one object serves one caller at a time.
class AudioMelSpectrogram {
public:
    enum class PaddingMode {
        // The signal is padded with nFFT / 2 zeros on each side.
        center,
        // The caller has padded the signal already.
        prePadded,
    };

    enum class LogFloorMode {
        // ln(x + logFloor)
        additive,
        // ln(max(x, logFloor))
        clamped,
    };

    struct FlatResult {
        std::vector<float> mel;
        // Frames computed from the audio.
        int melLength;
        // Frames in `mel`: melLength rounded up to a multiple of padTo; the extra frames hold 0.
        int numFrames;
    };

    struct NestedResult {
        // [1][nMels][frames], or empty when the audio holds no frame.
        std::vector<std::vector<std::vector<float>>> mel;
        int melLength;
    };

    // The front end's settings, written with designated initialisers: `Options{.nMels = 80}`. The defaults are
    // the recognisers' configuration.
    struct Options {
        int sampleRate = 16000;
        int nMels = 128;
        int nFFT = 512;
        int hopLength = 160;
        int winLength = 400;
        float preemph = 0.97f;
        // Frames of the flat results are rounded up to a multiple of this; below 2 means 1.
        int padTo = 1;
        float logFloor = 0x1p-24f;
        LogFloorMode logFloorMode = LogFloorMode::additive;
        bool windowPeriodic = false;
    };

    // The recognisers' configuration.
    AudioMelSpectrogram();
    // Throws std::invalid_argument for options no frame can be cut with: sampleRate, nFFT or hopLength below 1,
    // nMels below 0, or winLength outside 0 ... nFFT.
    explicit AudioMelSpectrogram(const Options& options);

    int nFFT() const { return nFFT_; }

    // Centre-padded, mel-major: nMels rows of numFrames values. `lastAudioSample` is the raw sample that
    // preceded `audio` in the stream (0 at its start); pre-emphasis continues from it.
    FlatResult computeFlat(std::span<const float> audio, float lastAudioSample);

    // Frame-major: numFrames rows of nMels values. A given `expectedFrameCount` replaces the frame count the
    // audio supports; frames past the signal hold the logarithm of the floor.
    FlatResult computeFlatTransposed(std::span<const float> audio, float lastAudioSample, PaddingMode paddingMode,
                                     std::optional<int> expectedFrameCount);
    FlatResult computeFlatTransposed(std::span<const float> audio, float lastAudioSample);

    // Windows at the start of each nFFT frame, without padding or pre-emphasis.
    NestedResult compute(std::span<const float> audio);

    // The Hann window of `length` coefficients, periodic or symmetric.
    static std::vector<float> hannWindow(int length, bool periodic);
    // nMels rows of nFFT / 2 + 1 weights spanning 0 Hz to half the sample rate on the Slaney mel scale,
    // each triangle normalised to unit area.
    static std::vector<std::vector<float>> melFilterbank(int sampleRate, int nFFT, int nMels);
    // The same over fMin ... fMax Hz. A triangle too narrow to divide by (1e-10 Hz or less) gets the
    // divisor 1e-10 instead, so degenerate bands hold finite weights.
    static std::vector<std::vector<float>> melFilterbank(int sampleRate, int nFFT, int nMels, float fMin, float fMax);

private:
    enum class Layout { melMajor, frameMajor };

    // Where frames come from: frame i covers positions i * hopLength + placement ... of the audio preceded by
    // `lead` zeros, written at `placement` inside the nFFT frame. Positions outside the audio read as zero, so
    // no padded copy of the signal is made.
    struct Framing {
        std::span<const float> audio;
        std::size_t lead;
        std::size_t placement;
        // The pre-emphasis coefficient applied while framing, or none when samples pass unchanged.
        std::optional<float> preemphasis;
        // The sample before audio[0], which pre-emphasis of audio[0] reads.
        float lastAudioSample;
    };

    // The weights of one band that may be non-zero: bandWeights_[weightOffset ..< weightOffset + length]
    // apply to bins firstBin ..< firstBin + length.
    struct Band {
        std::size_t firstBin;
        std::size_t weightOffset;
        std::size_t length;
    };

    void addBand(const std::vector<float>& weights);
    FlatResult computeFlat(std::span<const float> audio, float lastAudioSample, PaddingMode paddingMode,
                           std::optional<int> expectedFrameCount, Layout layout);
    long frameCount(std::size_t count, PaddingMode paddingMode) const;
    void writeFrameMajor(const Framing& framing, std::size_t frames, float* out);
    void writeMelMajor(const Framing& framing, std::size_t frames, std::size_t rowLength, float* out);
    void logMelFrame(const Framing& framing, std::size_t index, float* row);
    void powerSpectrum(const Framing& framing, std::size_t index);
    void windowSamples(const Framing& framing, std::size_t first, std::size_t count, std::size_t windowOffset,
                       float* destination) const;
    void applyLogarithm(float* values, std::size_t count) const;

    int nFFT_;
    int hopLength_;
    int winLength_;
    float preemph_;
    float logFloor_;
    LogFloorMode logFloorMode_;
    int nMels_;
    int padTo_;
    std::size_t bins_;
    std::vector<float> hannWindow_;
    // Each band's weights are zero outside one short run of bins, so the filterbank is kept as those runs:
    // applying it costs about two products per bin instead of nMels.
    std::vector<Band> bands_;
    std::vector<float> bandWeights_;
    std::optional<platform::dsp::FFT> fft_;
    std::vector<float> frame_;
    std::vector<std::complex<float>> spectrum_;
    std::vector<float> power_;
    std::vector<float> melRow_;
};

} // namespace quorl
