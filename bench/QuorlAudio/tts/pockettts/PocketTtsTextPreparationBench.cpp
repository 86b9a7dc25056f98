#include "QuorlAudio/tts/pockettts/PocketTtsTextPreparation.hpp"

#include "tests/QuorlAudio/tts/pockettts/PocketTtsFixtures.hpp"

#include <benchmark/benchmark.h>

#include <array>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

constexpr std::array<std::string_view, 24> words{
    "the",     "quick",     "brown",     "fox",     "jumps",   "over",    "lazy",    "dog",
    "while",   "listening", "carefully", "to",      "distant", "thunder", "rolling", "across",
    "valleys", "mountains", "before",    "evening", "finally", "arrived", "quietly", "everywhere"};

// A unigram vocabulary of about the shipped size: every printable character, the marker, and every prefix,
// suffix and marked prefix of the words above, scored by length so that longer pieces win.
quorl::SentencePieceTokenizer englishLikeTokenizer() {
    std::set<std::string> texts{"\u2581"};
    for (char character = '!'; character <= '~'; ++character) {
        texts.insert(std::string(1, character));
    }
    for (const auto word : words) {
        for (std::size_t length = 2; length <= word.size(); ++length) {
            texts.insert(std::string(word.substr(0, length)));
            texts.insert(std::string(word.substr(word.size() - length)));
            texts.insert("\u2581" + std::string(word.substr(0, length)));
        }
    }
    std::vector<std::pair<std::string, float>> pieces;
    for (const auto& text : texts) {
        pieces.emplace_back(text, -10.0F + static_cast<float>(text.size()) * 0.5F);
    }
    return quorl::SentencePieceTokenizer(pocketttsfixtures::modelBytes(pieces));
}

std::string sentence(std::size_t firstWord, std::size_t wordCount) {
    std::string text;
    for (std::size_t index = 0; index < wordCount; ++index) {
        text += words[(firstWord + index) % words.size()];
        text += index % 7 == 6 ? ", " : " ";
    }
    text.back() = '.';
    return text;
}

void BM_EncodeAFiftyTokenChunk(benchmark::State& state) {
    const auto tokenizer = englishLikeTokenizer();
    std::string chunk = sentence(0, 12);
    while (tokenizer.encode(chunk).size() < 50) {
        chunk += ' ';
        chunk += sentence(chunk.size(), 1);
    }
    state.counters["tokens"] = static_cast<double>(tokenizer.encode(chunk).size());
    for (auto _ : state) {
        benchmark::DoNotOptimize(tokenizer.encode(chunk));
    }
}
BENCHMARK(BM_EncodeAFiftyTokenChunk);

void BM_ChunkATwoThousandCharacterParagraph(benchmark::State& state) {
    const auto tokenizer = englishLikeTokenizer();
    std::string paragraph;
    for (std::size_t index = 0; paragraph.size() < 2000; ++index) {
        paragraph += sentence(index * 5, 80);
        paragraph += ' ';
    }
    paragraph.resize(2000);
    state.counters["sentenceTokens"] = static_cast<double>(tokenizer.encode(sentence(0, 80)).size());
    state.counters["chunks"] = static_cast<double>(
        quorl::PocketTtsSynthesizer::chunkTextWithMetadata(paragraph, tokenizer, 50, quorl::PocketTtsLanguage::english)
            .size());
    for (auto _ : state) {
        benchmark::DoNotOptimize(quorl::PocketTtsSynthesizer::chunkTextWithMetadata(paragraph, tokenizer, 50,
                                                                                    quorl::PocketTtsLanguage::english));
    }
}
BENCHMARK(BM_ChunkATwoThousandCharacterParagraph);

} // namespace
