#include "QuorlAudio/asr/streaming/EouDebouncer.hpp"

namespace quorl {
namespace {

constexpr std::int64_t sampleRate = 16000;

} // namespace

EouDebouncer::Outcome EouDebouncer::observe(const Observation& chunk) {
    Outcome outcome;
    if (!chunk.eouReported || chunk.producedTokens) {
        firstDetectedAt_.reset();
        return outcome;
    }
    if (!firstDetectedAt_) {
        firstDetectedAt_ = chunk.totalSamplesProcessed;
        outcome.candidateStarted = true;
    }
    const std::int64_t elapsedMs = (chunk.totalSamplesProcessed - *firstDetectedAt_) * 1000 / sampleRate;
    if (elapsedMs >= chunk.debounceMs && !eouDetected_) {
        eouDetected_ = true;
        outcome.confirmed = true;
        outcome.elapsedMs = elapsedMs;
    }
    return outcome;
}

void EouDebouncer::reset() {
    eouDetected_ = false;
    firstDetectedAt_.reset();
}

} // namespace quorl
