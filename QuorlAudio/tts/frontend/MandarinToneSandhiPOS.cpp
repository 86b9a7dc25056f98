#include "QuorlAudio/tts/frontend/MandarinToneSandhiPOS.hpp"

#include "QuorlAudio/tts/frontend/MandarinSandhiRules.hpp"

#include <algorithm>
#include <optional>

namespace quorl::MandarinToneSandhiPOS {
namespace {

using MandarinPinyinNormalizer::Syllable;

// The word's range cut to the syllables that exist.
SyllableRange inside(const SyllableRange& word, std::size_t count) {
    const std::size_t end = std::min(word.end, count);
    return {.start = std::min(word.start, end), .end = end};
}

class WordGuide {
public:
    WordGuide(const std::vector<SyllableRange>& words, const std::vector<std::string>& tags, std::size_t count)
        : words_(words), tags_(tags), wordOf_(count) {
        for (std::size_t w = 0; w < words.size(); ++w) {
            const SyllableRange range = inside(words[w], count);
            std::fill(wordOf_.begin() + static_cast<std::ptrdiff_t>(range.start),
                      wordOf_.begin() + static_cast<std::ptrdiff_t>(range.end), w);
        }
    }

    bool isLoneNumeral(std::size_t syllable) const {
        const std::optional<std::size_t> word = wordOf_[syllable];
        return word && words_[*word].end - words_[*word].start == 1 && *word < tags_.size() && tags_[*word] == "m";
    }

private:
    const std::vector<SyllableRange>& words_;
    const std::vector<std::string>& tags_;
    std::vector<std::optional<std::size_t>> wordOf_;
};

bool isQuestionForm(const std::vector<Syllable>& syllables, std::size_t bu) {
    return bu > 0 && syllables[bu - 1].base == syllables[bu + 1].base;
}

void applyYiAndBu(std::vector<Syllable>& syllables, const WordGuide& guide) {
    for (std::size_t j = 0; j + 1 < syllables.size(); ++j) {
        Syllable& previous = syllables[j];
        const int nextTone = syllables[j + 1].tone;
        if (previous.base == "bu" && previous.tone == 4 && nextTone == 4) {
            previous.tone = isQuestionForm(syllables, j) ? 4 : 2;
        } else if (previous.base == "yi" && previous.tone == 1 && !guide.isLoneNumeral(j)) {
            previous.tone = MandarinSandhiRules::yiToneBefore(nextTone).value_or(previous.tone);
        }
    }
}

void applyThirdTone(std::vector<Syllable>& syllables, const std::vector<SyllableRange>& words) {
    for (const SyllableRange& word : words) {
        const SyllableRange range = inside(word, syllables.size());
        MandarinSandhiRules::lowerThirdToneRuns(syllables, range.start, range.end);
    }
    for (std::size_t w = 0; w + 1 < words.size(); ++w) {
        const SyllableRange left = inside(words[w], syllables.size());
        const SyllableRange right = inside(words[w + 1], syllables.size());
        if (left.start == left.end || right.start == right.end) {
            continue;
        }
        Syllable& last = syllables[left.end - 1];
        if (last.tone == 3 && syllables[right.start].tone == 3) {
            last.tone = 2;
        }
    }
}

} // namespace

void apply(std::vector<Syllable>& syllables, const std::vector<SyllableRange>& words,
           const std::vector<std::string>& tags) {
    if (syllables.size() < 2) {
        return;
    }
    applyYiAndBu(syllables, WordGuide(words, tags, syllables.size()));
    applyThirdTone(syllables, words);
}

} // namespace quorl::MandarinToneSandhiPOS
