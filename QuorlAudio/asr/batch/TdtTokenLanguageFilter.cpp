#include "QuorlAudio/asr/batch/TdtTokenLanguageFilter.hpp"

#include "QuorlAudio/asr/batch/TdtJointDecision.hpp"
#include "QuorlAudio/foundation/ASRConstants.hpp"
#include "QuorlAudio/foundation/TokenLanguageFilter.hpp"

#include <algorithm>
#include <cstddef>

namespace quorl {

bool isEmptyOrWrittenIn(std::string_view piece, Script script) {
    constexpr std::string_view marker = ASRConstants::sentencePieceWordBoundary;
    // The text between markers, one stretch at a time: each must pass on its own, as the whole would.
    for (std::size_t start = 0; start <= piece.size();) {
        const std::size_t end = std::min(piece.find(marker, start), piece.size());
        if (!TokenLanguageFilter::matchesScript(piece.substr(start, end - start), script)) {
            return false;
        }
        start = end + marker.size();
    }
    return true;
}

void tokenLanguageFilter(int& label, float& score, std::optional<std::span<const int>> topKIds,
                         std::optional<std::span<const float>> topKLogits, std::optional<Language> language,
                         const std::unordered_map<int, std::string>* vocabulary, int blankId) {
    if (label == blankId || !language || vocabulary == nullptr || !topKIds || !topKLogits || topKIds->empty() ||
        vocabulary->empty()) {
        return;
    }
    const auto piece = vocabulary->find(label);
    if (piece == vocabulary->end()) {
        return;
    }
    const Script preferredScript = script(*language);
    if (isEmptyOrWrittenIn(piece->second, preferredScript)) {
        return;
    }
    if (const auto candidate = TokenLanguageFilter::filterTopK(*topKIds, *topKLogits, *vocabulary, preferredScript)) {
        label = candidate->tokenId;
        score = confidenceOf(candidate->probability);
    }
}

} // namespace quorl
