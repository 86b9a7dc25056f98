#include "QuorlAudio/asr/biasing/CtcKeywordSpotter.hpp"
#include "QuorlAudio/asr/biasing/VocabularyRescorer.hpp"
#include "SyntheticVocabulary.hpp"

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Rows = quorl::CtcKeywordSpotter::Rows;

// The CTC head of the real model set: 1024 pieces and the blank, a frame every 80 ms.
constexpr std::int64_t blankId = 1024;
constexpr double frameDuration = 0.08;

// Log-probabilities of `seconds` of audio: random logits, normalised per frame, the same on every run.
Rows logProbs(double seconds) {
    std::mt19937 generator(5);
    std::normal_distribution<float> logit(0.0f, 3.0f);
    Rows raw(static_cast<std::size_t>(seconds / frameDuration), std::vector<float>(blankId + 1));
    for (auto& row : raw) {
        for (auto& value : row) {
            value = logit(generator);
        }
    }
    return quorl::CtcKeywordSpotter::applyLogSoftmax(raw, blankId, 1.0f, 0.0f);
}

// A tokenizer of single letters ("▁" 1, "a" to "z" 2 to 27), enough to spell the synthetic words.
quorl::CtcTokenizer letterTokenizer() {
    nlohmann::json vocab = {{"<unk>", 0}, {"\u2581", 1}};
    for (char letter = 'a'; letter <= 'z'; ++letter) {
        vocab[std::string(1, letter)] = 2 + (letter - 'a');
    }
    const fs::path folder = fs::temp_directory_path() / ("quorl-rescorer-bench-" + std::to_string(getpid()));
    fs::create_directories(folder);
    std::ofstream(folder / "tokenizer.json")
        << nlohmann::json{{"model", {{"type", "BPE"}, {"vocab", vocab}, {"merges", nlohmann::json::array()}}}}.dump();
    auto tokenizer = quorl::CtcTokenizer::load(folder);
    fs::remove_all(folder);
    return tokenizer;
}

quorl::CustomVocabularyContext vocabulary(std::size_t terms, const quorl::CtcTokenizer& tokenizer) {
    quorl::CustomVocabularyContext context;
    for (const auto& word : quorl::bench::syntheticWords(terms)) {
        context.terms.emplace_back(
            quorl::CustomVocabularyTerm::Fields{.text = word, .ctcTokenIds = tokenizer.encode(word)});
    }
    return context;
}

// `count` words of 0.3 s each; every tenth is a vocabulary term with one letter changed, so that the pass
// has spans to compare acoustically.
std::vector<quorl::VocabularyRescorer::WordTiming> transcript(std::size_t count,
                                                              const quorl::CustomVocabularyContext& context) {
    const auto words = quorl::bench::syntheticWords(count, 23);
    std::vector<quorl::VocabularyRescorer::WordTiming> timings;
    for (std::size_t i = 0; i < count; ++i) {
        std::string word = words[i];
        if (i % 10 == 0) {
            word = context.terms[(i * 7) % context.terms.size()].text();
            word[word.size() / 2] = word[word.size() / 2] == 'a' ? 'e' : 'a';
        }
        timings.push_back(
            {.word = word, .startTime = 0.3 * static_cast<double>(i), .endTime = 0.3 * static_cast<double>(i) + 0.28});
    }
    return timings;
}

const quorl::CtcKeywordSpotter& spotter() {
    static const quorl::CtcKeywordSpotter made(quorl::CtcModels{}, blankId);
    return made;
}

// Every term of a vocabulary searched for in log-probabilities: arguments are the terms and the seconds.
void SpotTerms(benchmark::State& state) {
    const auto rows = logProbs(static_cast<double>(state.range(1)));
    const auto context = vocabulary(static_cast<std::size_t>(state.range(0)), letterTokenizer());
    for (auto _ : state) {
        benchmark::DoNotOptimize(spotter().spotKeywordsFromLogProbs(rows, frameDuration, context, std::nullopt));
    }
}
// 50 terms in 10 s; then a full 15 s window of live dictation with 100 and 500 terms.
BENCHMARK(SpotTerms)->Args({50, 10})->Args({100, 15})->Args({500, 15})->Unit(benchmark::kMillisecond);

// One term-centric rescoring pass: arguments are the words of the transcript and the terms of the vocabulary
// (the pass runs the spotter-anchored rescue for ten terms or fewer). The transcript spans 0.3 s a word.
void RescoreTranscript(benchmark::State& state) {
    const auto words = static_cast<std::size_t>(state.range(0));
    const auto tokenizer = letterTokenizer();
    const auto context = vocabulary(static_cast<std::size_t>(state.range(1)), tokenizer);
    const quorl::VocabularyRescorer rescorer({.spotter = spotter(),
                                              .vocabulary = context,
                                              .ctcTokenizer = tokenizer,
                                              .useBKTree = false,
                                              .bkTree = std::nullopt,
                                              .bkTreeMaxDistance = 3,
                                              .config = {}});
    const auto timings = transcript(words, context);
    const auto rows = logProbs(0.3 * static_cast<double>(words));
    const quorl::VocabularyRescorer::Scoring scoring{
        .logProbs = rows, .frameDuration = frameDuration, .cbw = 4.5f, .marginSeconds = 0.5, .minSimilarity = 0.5f};
    for (auto _ : state) {
        benchmark::DoNotOptimize(rescorer.rescoreWithConstrainedCTCTermCentric("", timings, scoring));
    }
}
// 100 words against 500 terms; then what one live-dictation window (about 35 words in
// 11 s of new audio) costs with a small, a medium and a large vocabulary.
BENCHMARK(RescoreTranscript)
    ->Args({100, 500})
    ->Args({35, 10})
    ->Args({35, 100})
    ->Args({35, 500})
    ->Unit(benchmark::kMillisecond);

} // namespace
