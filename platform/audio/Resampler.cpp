#include "platform/audio/Resampler.hpp"

#include <soxr.h>

#include <cmath>

namespace platform::audio {

namespace {

// Extra output room on every call, beyond the frames the input accounts for, for what the filter held back.
constexpr std::size_t outputSlack = 256;

} // namespace

std::unique_ptr<Resampler> Resampler::make(double inputRate, double outputRate, unsigned channelCount) {
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_VHQ, 0);
    // One thread: the result must not depend on scheduling, and callers parallelise at a higher level.
    const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
    soxr_error_t error = nullptr;
    soxr_t handle = soxr_create(inputRate, outputRate, channelCount, &error, &io, &quality, &runtime);
    if (error != nullptr || handle == nullptr) {
        soxr_delete(handle);
        return nullptr;
    }
    return std::unique_ptr<Resampler>(new Resampler(handle, outputRate / inputRate, channelCount));
}

Resampler::Resampler(soxr* handle, double ratio, unsigned channelCount)
    : handle_(handle), ratio_(ratio), channelCount_(channelCount) {}

Resampler::~Resampler() { soxr_delete(handle_); }

std::optional<std::string> Resampler::process(const float* input, std::size_t frameCount, std::vector<float>& output) {
    return drain(input, frameCount, output);
}

std::optional<std::string> Resampler::flush(std::vector<float>& output) { return drain(nullptr, 0, output); }

// libsoxr takes only as much input as the output room given can absorb, and holds back output that does not
// fit; so every call gives room for all of the input, and calls repeat while the room came back full.
std::optional<std::string> Resampler::drain(const float* input, std::size_t frameCount, std::vector<float>& output) {
    std::size_t consumed = 0;
    while (true) {
        const std::size_t room =
            static_cast<std::size_t>(std::ceil(static_cast<double>(frameCount - consumed) * ratio_)) + outputSlack;
        const std::size_t start = output.size();
        output.resize(start + room * channelCount_);
        std::size_t used = 0;
        std::size_t produced = 0;
        const float* next = input == nullptr ? nullptr : input + consumed * channelCount_;
        const soxr_error_t error =
            soxr_process(handle_, next, frameCount - consumed, &used, output.data() + start, room, &produced);
        output.resize(start + produced * channelCount_);
        if (error != nullptr) {
            return std::string(error);
        }
        consumed += used;
        if (consumed == frameCount && produced < room) {
            return std::nullopt;
        }
    }
}

} // namespace platform::audio
