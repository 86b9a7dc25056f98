#include "platform/dsp/FFT.hpp"

#include <kissfft/kiss_fftr.h>

#include <climits>
#include <cstdlib>
#include <utility>
#include <vector>

namespace platform::dsp {

struct FFT::Plan {
    struct ConfigDeleter {
        void operator()(kiss_fftr_state* config) const { kiss_fftr_free(config); }
    };

    std::unique_ptr<kiss_fftr_state, ConfigDeleter> config;
    // KissFFT writes its own complex type; the values are copied out so callers see std::complex only.
    std::vector<kiss_fft_cpx> spectrum;
};

std::optional<FFT> FFT::create(std::size_t length) {
    // The real-input transform packs the signal into a complex one of half the length, so it needs an even
    // length; KissFFT takes the length as an int.
    if (length == 0 || length % 2 != 0 || length > static_cast<std::size_t>(INT_MAX)) {
        return std::nullopt;
    }
    auto plan = std::make_unique<Plan>();
    plan->config.reset(kiss_fftr_alloc(static_cast<int>(length), 0, nullptr, nullptr));
    if (!plan->config) {
        return std::nullopt;
    }
    plan->spectrum.resize(length / 2 + 1);
    return FFT(length, std::move(plan));
}

FFT::FFT(std::size_t length, std::unique_ptr<Plan> plan) : length_(length), plan_(std::move(plan)) {}

FFT::FFT(FFT&&) noexcept = default;
FFT& FFT::operator=(FFT&&) noexcept = default;
FFT::~FFT() = default;

void FFT::forward(const float* input, std::complex<float>* output) {
    kiss_fftr(plan_->config.get(), input, plan_->spectrum.data());
    for (std::size_t bin = 0; bin < plan_->spectrum.size(); ++bin) {
        output[bin] = {plan_->spectrum[bin].r, plan_->spectrum[bin].i};
    }
}

} // namespace platform::dsp
