#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace quorl {

// Skips the encoder and decoder for stretches of quiet audio: once `hangoverChunks` chunks in a row have a
// root mean square below the threshold, further quiet chunks are skipped until a loud one arrives. A
// threshold of 0 switches the gate off.
class NemotronMultilingualEnergyGate {
public:
    struct Settings {
        float rmsThreshold = 0;
        std::int64_t hangoverChunks = 2;

        // "QUORLAUDIO_VAD_RMS_THRESHOLD" and "QUORLAUDIO_VAD_HANGOVER_CHUNKS", read once in the process's life.
        static const Settings& process();
        // The whole text as a number strictly between 0 and 1; 0 (off) for anything else or no text.
        static float parseRmsThreshold(const std::optional<std::string>& text);
        // The whole text as a decimal integer of at least 1; 2 for anything else or no text.
        static std::int64_t parseHangoverChunks(const std::optional<std::string>& text);
    };

    explicit NemotronMultilingualEnergyGate(Settings settings = Settings::process()) : settings_(settings) {}

    bool enabled() const { return settings_.rmsThreshold > 0; }
    // Counts the chunk and tells whether it is to be skipped. No samples count as quiet, a root mean square
    // that is not a number as loud; with the gate off nothing is counted.
    bool skips(std::span<const float> samples);
    std::int64_t consecutiveLowChunks() const { return consecutiveLowChunks_; }
    // The threshold test alone, without counting or the hangover.
    bool quiet(std::span<const float> samples) const;

private:
    Settings settings_;
    std::int64_t consecutiveLowChunks_ = 0;
};

} // namespace quorl
