#pragma once

#include <cstdint>
#include <optional>

namespace quorl {

// The speaker-count bounds a clustering must meet, made consistent with the number of training embeddings.
struct SpeakerCountConstraints {
    // Present exactly when the bounds are equal.
    std::optional<std::int64_t> numSpeakers{};
    // 1 … max(1, number of embeddings).
    std::int64_t minSpeakers = 1;
    // At least minSpeakers.
    std::int64_t maxSpeakers = 1;

    // An exact count overrides both bounds; absent bounds are 1 and the embedding count. Both are held within
    // 1 … max(1, numEmbeddings); a minimum above the maximum is lowered to it with a warning.
    static SpeakerCountConstraints resolve(std::int64_t numEmbeddings, std::optional<std::int64_t> numSpeakers,
                                           std::optional<std::int64_t> minSpeakers,
                                           std::optional<std::int64_t> maxSpeakers);

    bool operator==(const SpeakerCountConstraints&) const = default;
};

} // namespace quorl
