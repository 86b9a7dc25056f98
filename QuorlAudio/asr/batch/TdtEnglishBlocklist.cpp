#include "QuorlAudio/asr/batch/TdtEnglishBlocklist.hpp"

#include "QuorlAudio/asr/batch/TdtTokenLanguageFilter.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <optional>

namespace quorl {

namespace {

bool acceptable(int tokenId, const std::unordered_map<int, std::string>& vocabulary, int blankId) {
    if (tokenId == blankId || englishBlocklistIds().contains(tokenId)) {
        return false;
    }
    const auto piece = vocabulary.find(tokenId);
    return piece != vocabulary.end() && isEmptyOrWrittenIn(piece->second, Script::latin);
}

// Strictly greater keeps the earlier candidate on equal logits; a NaN logit loses to any number.
bool beats(float candidate, float incumbent) {
    return candidate > incumbent || (std::isnan(incumbent) && !std::isnan(candidate));
}

// The softmax share of the chosen logit over every logit; 0 when the sum is not positive (or is NaN).
float softmaxShare(float chosenLogit, std::span<const float> logits) {
    float maximum = -std::numeric_limits<float>::infinity();
    for (const float logit : logits) {
        maximum = std::max(maximum, logit);
    }
    float total = 0;
    for (const float logit : logits) {
        total += std::exp(logit - maximum);
    }
    if (!(total > 0)) {
        return 0;
    }
    return std::exp(chosenLogit - maximum) / total;
}

} // namespace

const std::unordered_set<int>& englishBlocklistIds() {
    static const std::unordered_set<int> ids{
        506,  547,  575,  750,  924,  1050, 1103, 1180, 1491, 1502, 1535, 1647, 1714, 1842, 1868,
        1960, 1974, 1976, 2336, 2530, 2681, 2783, 3109, 3247, 3285, 3357, 3470, 3592, 3629, 4020,
        4223, 4250, 4333, 4384, 4396, 4421, 4611, 4908, 4980, 5726, 5831, 6167, 6843, 7603,
    };
    return ids;
}

void applyEnglishBlocklist(int& label, float& score, std::span<const int> topKIds, std::span<const float> topKLogits,
                           const std::unordered_map<int, std::string>& vocabulary, int blankId) {
    const std::size_t count = std::min(topKIds.size(), topKLogits.size());
    if (label == blankId || !englishBlocklistIds().contains(label) || count == 0) {
        return;
    }
    std::optional<std::size_t> best;
    for (std::size_t position = 0; position < count; ++position) {
        if (acceptable(topKIds[position], vocabulary, blankId) &&
            (!best || beats(topKLogits[position], topKLogits[*best]))) {
            best = position;
        }
    }
    if (best) {
        label = topKIds[*best];
        score = softmaxShare(topKLogits[*best], topKLogits);
    }
}

} // namespace quorl
