#pragma once

#include <complex>
#include <cstddef>
#include <memory>
#include <optional>

namespace platform::dsp {

// A forward discrete Fourier transform of real input with a fixed length:
//   output[k] = sum over n of input[n] * exp(-2 pi i k n / length), for k = 0 ... length / 2,
// without scaling. The plan owns its working memory, so a transform allocates nothing; one plan serves
// one thread at a time.
class FFT {
public:
    // A plan for `length` samples, or none when the length is not supported (zero or odd).
    static std::optional<FFT> create(std::size_t length);

    FFT(FFT&&) noexcept;
    FFT& operator=(FFT&&) noexcept;
    ~FFT();

    std::size_t length() const { return length_; }
    // The number of output values: length / 2 + 1 (the rest mirror them as complex conjugates).
    std::size_t binCount() const { return length_ / 2 + 1; }

    // Reads `length()` samples and writes `binCount()` values.
    void forward(const float* input, std::complex<float>* output);

private:
    struct Plan;

    FFT(std::size_t length, std::unique_ptr<Plan> plan);

    std::size_t length_;
    std::unique_ptr<Plan> plan_;
};

} // namespace platform::dsp
