#include "QuorlAudio/tts/frontend/PhonemeChunker.hpp"

#include <benchmark/benchmark.h>

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace {

// 100,000 characters of IPA as the English phonemiser writes it: words of a few phonemes, some with stress
// marks and length marks, separated by blanks, with punctuation every few words.
std::string ipaText(std::size_t characters) {
    constexpr std::array<std::string_view, 8> words{"ðə",     "kwˈɪk",  "bɹˈaʊn", "fˈɑks",
                                                    "ʤˈʌmps", "ˈoʊvəɹ", "lˈeɪzi", "dˈɔɡ"};
    constexpr std::array<std::string_view, 5> separators{" ", " ", ", ", " ", ". "};
    std::string text;
    std::size_t count = 0;
    for (std::size_t index = 0; count < characters; ++index) {
        const std::string_view word = words[index % words.size()];
        const std::string_view separator = separators[index % separators.size()];
        text.append(word).append(separator);
        // Every phoneme here is one scalar and one user-perceived character.
        for (const std::string_view piece : {word, separator}) {
            for (const char byte : piece) {
                count += (static_cast<unsigned char>(byte) & 0xC0) != 0x80 ? 1 : 0;
            }
        }
    }
    return text;
}

void BM_ChunkOneHundredThousandCharactersAt510(benchmark::State& state) {
    const std::string text = ipaText(100'000);
    for (auto _ : state) {
        const std::vector<std::string> chunks = quorl::PhonemeChunker::chunk(text, 510);
        benchmark::DoNotOptimize(chunks.data());
    }
    state.SetItemsProcessed(state.iterations() * 100'000);
}
BENCHMARK(BM_ChunkOneHundredThousandCharactersAt510)->Unit(benchmark::kMicrosecond);

} // namespace
