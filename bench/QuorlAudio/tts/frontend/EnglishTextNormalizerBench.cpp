#include "QuorlAudio/tts/frontend/EnglishTextNormalizer.hpp"

#include <benchmark/benchmark.h>

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace {

// About 5,000 characters of prose with a number of some kind every few words: cardinals, years, ordinals,
// decimals, leading zeros, clock times and numbers the rules leave alone.
std::string proseWithNumbers() {
    constexpr std::array<std::string_view, 8> sentences{
        "The train left at 10:30 P.M. with 42 passengers and 3 dogs. ",
        "In 2024 the 21st meeting drew 1,250 people to room 007. ",
        "Pi is about 3.14 and e is near 2.718, said the 2nd speaker. ",
        "Flight A4 landed 15 minutes early at 9:05 a.m. on gate 12. ",
        "She ran 5 miles in 38 minutes, her 112th run since 1998. ",
        "The recipe needs 250 grams of flour and 0.5 litres of milk. ",
        "Order 3D printers from aisle 7 before 12:00am on the 3rd. ",
        "About 98765 readers voted, and 11th place got 404 votes. ",
    };
    std::string text;
    for (std::size_t index = 0; text.size() < 5000; ++index) {
        text += sentences[index % sentences.size()];
    }
    text.resize(5000);
    return text;
}

void BM_NormalizeFiveThousandCharactersOfProse(benchmark::State& state) {
    const std::string text = proseWithNumbers();
    for (auto _ : state) {
        const std::string normalized = quorl::EnglishTextNormalizer::normalize(text);
        benchmark::DoNotOptimize(normalized.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_NormalizeFiveThousandCharactersOfProse)->Unit(benchmark::kMicrosecond);

} // namespace
