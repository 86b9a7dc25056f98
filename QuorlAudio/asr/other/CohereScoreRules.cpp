#include "QuorlAudio/asr/other/CohereScoreRules.hpp"

#include "platform/dsp/Half.hpp"
#include "platform/dsp/Vector.hpp"

#include <algorithm>
#include <cstddef>
#include <set>

namespace quorl {
namespace {

using platform::ml::DataType;

bool inRange(int id, std::span<float> scores) { return id >= 0 && static_cast<std::size_t>(id) < scores.size(); }

void ban(std::span<float> scores, int id) {
    if (inRange(id, scores)) {
        scores[static_cast<std::size_t>(id)] = CohereScoreRules::banned;
    }
}

} // namespace

std::vector<float> CohereScoreRules::copyLogitsFloat32(const platform::ml::MultiArray& logits) {
    std::vector<float> scores(logits.count());
    const bool dense = logits.strides() == platform::ml::denseStrides(logits.shape());
    if (dense && logits.dataType() == DataType::float16) {
        platform::dsp::halfToFloat(logits.data<platform::dsp::Half>(), scores.data(), scores.size());
    } else if (dense && logits.dataType() == DataType::float32) {
        platform::dsp::copy(logits.data<float>(), scores.data(), scores.size());
    } else {
        for (std::size_t index = 0; index < scores.size(); ++index) {
            scores[index] = static_cast<float>(logits.value(index));
        }
    }
    return scores;
}

void CohereScoreRules::applyRepetitionPenalty(std::span<float> scores, std::span<const int> history, float penalty) {
    if (penalty == 1.0f || history.empty()) {
        return;
    }
    for (const int id : std::set<int>(history.begin(), history.end())) {
        if (inRange(id, scores)) {
            float& score = scores[static_cast<std::size_t>(id)];
            score = score >= 0.0f ? score / penalty : score * penalty;
        }
    }
}

void CohereScoreRules::applyNoRepeatNgram(std::span<float> scores, std::span<const int> history, int n) {
    if (n < 1 || history.size() + 1 < static_cast<std::size_t>(n)) {
        return;
    }
    if (n == 1) {
        std::ranges::for_each(history, [scores](int id) { ban(scores, id); });
        return;
    }
    const auto prefixLength = static_cast<std::size_t>(n - 1);
    const auto suffix = history.last(prefixLength);
    for (std::size_t start = 0; start + prefixLength < history.size(); ++start) {
        if (std::ranges::equal(history.subspan(start, prefixLength), suffix)) {
            ban(scores, history[start + prefixLength]);
        }
    }
}

} // namespace quorl
