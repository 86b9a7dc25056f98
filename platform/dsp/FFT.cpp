#include "platform/dsp/FFT.hpp"

#include <fftw3.h>

#include <algorithm>
#include <climits>
#include <mutex>
#include <utility>

namespace platform::dsp {
namespace {

// FFTW's planner keeps process-wide tables and is not thread-safe; only executing a plan is.
std::mutex& plannerMutex() {
    static std::mutex mutex;
    return mutex;
}

// An estimated plan makes no timing runs, so it picks the same algorithm on every run.
fftwf_plan realToComplexPlan(int length, float* input, fftwf_complex* output) {
    const std::lock_guard lock(plannerMutex());
    return fftwf_plan_dft_r2c_1d(length, input, output, FFTW_ESTIMATE);
}

} // namespace

struct FFT::Plan {
    struct FreeArray {
        void operator()(void* array) const { fftwf_free(array); }
    };
    struct DestroyPlan {
        void operator()(fftwf_plan plan) const {
            const std::lock_guard lock(plannerMutex());
            fftwf_destroy_plan(plan);
        }
    };

    // FFTW's vector code needs aligned arrays, so the transform runs on these and the caller's values are
    // copied in and out.
    std::unique_ptr<float, FreeArray> input;
    std::unique_ptr<fftwf_complex, FreeArray> output;
    std::unique_ptr<fftwf_plan_s, DestroyPlan> plan;
};

std::optional<FFT> FFT::create(std::size_t length) {
    // Odd lengths stay unsupported so that every caller sees the lengths it always saw; FFTW takes the
    // length as an int.
    if (length == 0 || length % 2 != 0 || length > static_cast<std::size_t>(INT_MAX)) {
        return std::nullopt;
    }
    auto plan = std::make_unique<Plan>();
    plan->input.reset(fftwf_alloc_real(length));
    plan->output.reset(fftwf_alloc_complex(length / 2 + 1));
    if (!plan->input || !plan->output) {
        return std::nullopt;
    }
    plan->plan.reset(realToComplexPlan(static_cast<int>(length), plan->input.get(), plan->output.get()));
    if (!plan->plan) {
        return std::nullopt;
    }
    return FFT(length, std::move(plan));
}

FFT::FFT(std::size_t length, std::unique_ptr<Plan> plan) : length_(length), plan_(std::move(plan)) {}

FFT::FFT(FFT&&) noexcept = default;
FFT& FFT::operator=(FFT&&) noexcept = default;
FFT::~FFT() = default;

void FFT::forward(const float* input, std::complex<float>* output) {
    std::copy(input, input + length_, plan_->input.get());
    fftwf_execute(plan_->plan.get());
    // std::complex<float> has the layout of fftwf_complex.
    const auto* spectrum = reinterpret_cast<const std::complex<float>*>(plan_->output.get());
    std::copy(spectrum, spectrum + binCount(), output);
}

} // namespace platform::dsp
