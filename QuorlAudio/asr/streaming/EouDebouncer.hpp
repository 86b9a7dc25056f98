#pragma once

#include <cstdint>
#include <optional>

namespace quorl {

// When an end of utterance counts as confirmed. A chunk in which the model signals the end without words
// starts a candidate at the stream position after that chunk; the candidate is confirmed once later chunks
// that keep signalling the end without words have carried the stream at least the debounce period past it.
// A chunk with words or without the signal drops the candidate. One end of utterance is confirmed per
// stream, until reset().
class EouDebouncer {
public:
    struct Observation {
        bool eouReported;
        bool producedTokens;
        // Stream samples at 16 kHz decoded so far, this chunk included.
        std::int64_t totalSamplesProcessed;
        std::int64_t debounceMs;
    };

    struct Outcome {
        bool candidateStarted = false;
        bool confirmed = false;
        // Milliseconds from the candidate to this chunk; set when confirmed.
        std::int64_t elapsedMs = 0;
    };

    Outcome observe(const Observation& chunk);
    void reset();

    bool eouDetected() const { return eouDetected_; }
    std::optional<std::int64_t> firstDetectedAt() const { return firstDetectedAt_; }

private:
    bool eouDetected_ = false;
    std::optional<std::int64_t> firstDetectedAt_;
};

} // namespace quorl
