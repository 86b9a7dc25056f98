#include "QuorlAudio/tts/supertonic3/Supertonic3TextChunker.hpp"
#include "QuorlAudio/tts/supertonic3/Supertonic3UnicodeProcessor.hpp"
#include "platform/text/GraphemeClusters.hpp"

#include <benchmark/benchmark.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {

// English prose as a reader would paste it: short and long sentences, titles, commas, curly quotes, a
// paragraph break every few sentences, so that every packing level of the chunker is used.
std::string prose(std::size_t characters) {
    constexpr std::array<std::string_view, 6> sentences{
        "Mr. Smith met Dr. Jones at the station.",
        "It rained all morning, so they waited in the caf\u00E9 by the square, talking about the trains, the "
        "weather and the long \u201Cjourney\u201D ahead.",
        "Nobody knew.",
        "The quick brown fox jumps over the lazy dog and then it keeps on running so far away from home.",
        "Was it worth it?",
        "They left at noon \u2014 late, tired, and happy.",
    };
    std::string text;
    for (std::size_t index = 0; platform::text::characterCount(text) < characters; ++index) {
        text.append(sentences[index % sentences.size()]).append(index % 7 == 6 ? "\n\n" : " ");
    }
    text.resize(platform::text::graphemeBoundaries(text)[characters]);
    return text;
}

void BM_ChunkFiveThousandCharactersAt70(benchmark::State& state) {
    const std::string text = prose(5'000);
    for (auto _ : state) {
        const std::vector<std::string> chunks = quorl::Supertonic3TextChunker::chunk(text, 70);
        benchmark::DoNotOptimize(chunks.data());
    }
    state.counters["chunks"] = static_cast<double>(quorl::Supertonic3TextChunker::chunk(text, 70).size());
}
BENCHMARK(BM_ChunkFiveThousandCharactersAt70)->Unit(benchmark::kMicrosecond);

void BM_EncodeASeventyCharacterChunk(benchmark::State& state) {
    quorl::Supertonic3UnicodeProcessor processor;
    // A table over the Basic Multilingual Plane, about the size of the shipped one.
    for (std::int64_t value = 0; value < 0x10000; ++value) {
        processor.indexer.push_back(value % 4000);
    }
    const std::vector<std::string> texts{"It rained all morning, so they waited in the caf\u00E9s by the square, too."};
    const std::vector<std::string> languages{"en"};
    for (auto _ : state) {
        const auto encoded = processor.encode(texts, languages);
        benchmark::DoNotOptimize(encoded.ids.data());
    }
}
BENCHMARK(BM_EncodeASeventyCharacterChunk)->Unit(benchmark::kMicrosecond);

} // namespace
