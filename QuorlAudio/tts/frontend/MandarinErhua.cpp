#include "QuorlAudio/tts/frontend/MandarinErhua.hpp"

#include <cstddef>

namespace quorl::MandarinErhua {
namespace {

using MandarinPinyinNormalizer::Syllable;

bool isSuffix(const Syllable& syllable) { return syllable.base == "er" && syllable.tone == 5; }

bool takesSuffix(const Syllable& syllable) { return !syllable.base.empty() && syllable.base != "er"; }

} // namespace

void merge(std::vector<Syllable>& syllables) {
    std::size_t i = syllables.size();
    while (i >= 2) {
        --i;
        if (isSuffix(syllables[i]) && takesSuffix(syllables[i - 1])) {
            syllables[i - 1].erhua = true;
            syllables.erase(syllables.begin() + static_cast<std::ptrdiff_t>(i));
            --i;
        }
    }
}

} // namespace quorl::MandarinErhua
