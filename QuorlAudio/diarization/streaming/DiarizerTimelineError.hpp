#pragma once

#include "platform/core/Error.hpp"

#include <cstdint>

namespace quorl {

// Prediction arrays whose length is not a whole number of rows of the timeline's speaker slots.
class DiarizerTimelineError : public platform::core::Error {
public:
    enum class Kind {
        misalignedFinalizedPredictions,
        misalignedTentativePredictions,
    };

    static DiarizerTimelineError misalignedFinalizedPredictions(std::int64_t count, std::int64_t numSpeakers);
    static DiarizerTimelineError misalignedTentativePredictions(std::int64_t count, std::int64_t numSpeakers);

    Kind kind() const { return kind_; }
    // The number of values received.
    std::int64_t count() const { return count_; }
    std::int64_t numSpeakers() const { return numSpeakers_; }

private:
    DiarizerTimelineError(Kind kind, const char* which, std::int64_t count, std::int64_t numSpeakers);

    Kind kind_;
    std::int64_t count_;
    std::int64_t numSpeakers_;
};

} // namespace quorl
