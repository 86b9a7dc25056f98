#include "QuorlAudio/tts/frontend/MandarinToneSandhi.hpp"

#include "QuorlAudio/tts/frontend/MandarinSandhiRules.hpp"

#include <cstddef>

namespace quorl::MandarinToneSandhi {
namespace {

using MandarinPinyinNormalizer::Syllable;

void applyYiAndBu(std::vector<Syllable>& syllables) {
    for (std::size_t i = 1; i < syllables.size(); ++i) {
        Syllable& previous = syllables[i - 1];
        const int nextTone = syllables[i].tone;
        if (previous.base == "bu" && previous.tone == 4 && nextTone == 4) {
            previous.tone = 2;
        } else if (previous.base == "yi" && previous.tone == 1) {
            previous.tone = MandarinSandhiRules::yiToneBefore(nextTone).value_or(previous.tone);
        }
    }
}

} // namespace

void apply(std::vector<Syllable>& syllables) {
    if (syllables.size() < 2) {
        return;
    }
    applyYiAndBu(syllables);
    MandarinSandhiRules::lowerThirdToneRuns(syllables, 0, syllables.size());
}

} // namespace quorl::MandarinToneSandhi
