#include "QuorlAudio/asr/multilingual/NemotronMultilingualEnergyGate.hpp"

#include "platform/dsp/Vector.hpp"
#include "platform/sys/Environment.hpp"
#include "platform/text/DecimalFloat.hpp"
#include "platform/text/DecimalInteger.hpp"

namespace quorl {

const NemotronMultilingualEnergyGate::Settings& NemotronMultilingualEnergyGate::Settings::process() {
    static const Settings settings{
        .rmsThreshold = parseRmsThreshold(platform::sys::environmentValue("QUORLAUDIO_VAD_RMS_THRESHOLD")),
        .hangoverChunks = parseHangoverChunks(platform::sys::environmentValue("QUORLAUDIO_VAD_HANGOVER_CHUNKS")),
    };
    return settings;
}

float NemotronMultilingualEnergyGate::Settings::parseRmsThreshold(const std::optional<std::string>& text) {
    const auto value = text ? platform::text::decimalFloat(*text) : std::nullopt;
    // Written so that NaN fails both comparisons.
    return value && *value > 0 && *value < 1 ? *value : 0;
}

std::int64_t NemotronMultilingualEnergyGate::Settings::parseHangoverChunks(const std::optional<std::string>& text) {
    const auto value = text ? platform::text::decimalInteger(*text) : std::nullopt;
    return value && *value >= 1 ? *value : 2;
}

bool NemotronMultilingualEnergyGate::skips(std::span<const float> samples) {
    if (!enabled()) {
        return false;
    }
    if (!quiet(samples)) {
        consecutiveLowChunks_ = 0;
        return false;
    }
    ++consecutiveLowChunks_;
    return consecutiveLowChunks_ >= settings_.hangoverChunks;
}

bool NemotronMultilingualEnergyGate::quiet(std::span<const float> samples) const {
    return samples.empty() || platform::dsp::rms(samples.data(), samples.size()) < settings_.rmsThreshold;
}

} // namespace quorl
