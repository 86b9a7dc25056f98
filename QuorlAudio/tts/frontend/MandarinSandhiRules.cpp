#include "QuorlAudio/tts/frontend/MandarinSandhiRules.hpp"

namespace quorl::MandarinSandhiRules {

std::optional<int> yiToneBefore(int nextTone) {
    if (nextTone >= 1 && nextTone <= 3) {
        return 4;
    }
    if (nextTone == 4) {
        return 2;
    }
    return std::nullopt;
}

void lowerThirdToneRuns(std::vector<MandarinPinyinNormalizer::Syllable>& syllables, std::size_t start,
                        std::size_t end) {
    std::size_t i = start;
    while (i < end) {
        std::size_t runEnd = i;
        while (runEnd < end && syllables[runEnd].tone == 3) {
            ++runEnd;
        }
        for (std::size_t k = i; k + 1 < runEnd; ++k) {
            syllables[k].tone = 2;
        }
        i = runEnd > i ? runEnd : i + 1;
    }
}

} // namespace quorl::MandarinSandhiRules
