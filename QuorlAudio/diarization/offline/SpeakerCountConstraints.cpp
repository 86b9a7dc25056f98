#include "QuorlAudio/diarization/offline/SpeakerCountConstraints.hpp"

#include "QuorlAudio/foundation/AppLogger.hpp"
#include "platform/core/Concatenated.hpp"

#include <algorithm>
#include <string>

namespace quorl {
namespace {

using platform::core::concatenated;

const AppLogger& logger() {
    static const AppLogger instance("SpeakerCountConstraints");
    return instance;
}

std::int64_t withinEmbeddings(std::int64_t bound, std::int64_t numEmbeddings) {
    return std::max<std::int64_t>(1, std::min(bound, numEmbeddings));
}

} // namespace

SpeakerCountConstraints SpeakerCountConstraints::resolve(std::int64_t numEmbeddings,
                                                         std::optional<std::int64_t> numSpeakers,
                                                         std::optional<std::int64_t> minSpeakers,
                                                         std::optional<std::int64_t> maxSpeakers) {
    std::int64_t lower = numSpeakers.value_or(minSpeakers.value_or(1));
    std::int64_t upper = numSpeakers.value_or(maxSpeakers.value_or(numEmbeddings));
    lower = withinEmbeddings(lower, numEmbeddings);
    upper = withinEmbeddings(upper, numEmbeddings);
    if (lower > upper) {
        logger().warning(concatenated({"minSpeakers (", std::to_string(lower), ") > maxSpeakers (",
                                       std::to_string(upper), "); clamping minSpeakers to ", std::to_string(upper)}));
        lower = upper;
    }
    const auto exact = lower == upper ? std::optional<std::int64_t>(lower) : std::nullopt;
    logger().debug(concatenated({"Resolved constraints: numSpeakers=", exact ? std::to_string(*exact) : "nil",
                                 ", min=", std::to_string(lower), ", max=", std::to_string(upper)}));
    return {.numSpeakers = exact, .minSpeakers = lower, .maxSpeakers = upper};
}

} // namespace quorl
