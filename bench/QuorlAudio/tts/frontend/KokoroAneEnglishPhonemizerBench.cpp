#include "QuorlAudio/tts/frontend/KokoroAneEnglishPhonemizer.hpp"

#include <benchmark/benchmark.h>

#include <array>
#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

namespace {

using Phonemizer = quorl::KokoroAneEnglishPhonemizer;

struct Entry {
    std::string_view word;
    Phonemizer::PhonemeTokens tokens;
};

// Words of a pangram and their phonemes, one character a token as the lexicon cache hands them on.
const std::array<Entry, 9> entries{{
    {"the", {"ð", "ə"}},
    {"quick", {"k", "w", "ˈ", "ɪ", "k"}},
    {"brown", {"b", "ɹ", "ˈ", "W", "n"}},
    {"fox", {"f", "ˈ", "ɑ", "k", "s"}},
    {"jumps", {"ʤ", "ˈ", "ʌ", "m", "p", "s"}},
    {"over", {"ˈ", "O", "v", "ə", "ɹ"}},
    {"lazy", {"l", "ˈ", "A", "z", "i"}},
    {"dog's", {"d", "ˈ", "ɔ", "ɡ", "z"}},
    {"tail", {"t", "ˈ", "A", "l"}},
}};

// About 2,000 characters of those words, capitalised after each full stop, with a comma now and then.
std::string lexiconText(std::size_t characters) {
    std::string text;
    for (std::size_t index = 0; text.size() < characters; ++index) {
        std::string word(entries[index % entries.size()].word);
        if (index % 11 == 0) {
            word[0] = static_cast<char>(word[0] - 'a' + 'A');
        }
        const bool sentenceEnds = index % 11 == 10;
        text += word + (sentenceEnds ? ". " : index % 4 == 3 ? ", " : " ");
    }
    return text;
}

Phonemizer lexiconPhonemizer() {
    Phonemizer phonemizer;
    for (const auto& entry : entries) {
        phonemizer.wordToPhonemes.emplace(std::string(entry.word), entry.tokens);
    }
    phonemizer.allowedPunctuation = {",", "."};
    return phonemizer;
}

void BM_PhonemizeTwoThousandCharactersFromTheLexicon(benchmark::State& state) {
    const auto text = lexiconText(2'000);
    const auto phonemizer = lexiconPhonemizer();
    const Phonemizer::Fallback noFallback = [](const std::string& key) -> std::optional<Phonemizer::PhonemeTokens> {
        throw std::logic_error("the lexicon lacks " + key);
    };
    for (auto _ : state) {
        const auto phonemes = phonemizer.phonemize(text, noFallback);
        benchmark::DoNotOptimize(phonemes.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_PhonemizeTwoThousandCharactersFromTheLexicon)->Unit(benchmark::kMicrosecond);

} // namespace
