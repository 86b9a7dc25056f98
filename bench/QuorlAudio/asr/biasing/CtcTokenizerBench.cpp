#include "QuorlAudio/asr/biasing/CtcTokenizer.hpp"
#include "SyntheticVocabulary.hpp"

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

// A tokenizer of the CTC model's size (about 1000 pieces): every letter, the marker, and the pieces made by
// merging the first letters of common words, so encoding a term takes several merge rounds as with the real
// model.
nlohmann::json tokenizerDescription() {
    const std::string marker = "\u2581";
    nlohmann::json vocab = nlohmann::json::object();
    nlohmann::json merges = nlohmann::json::array();
    const auto add = [&vocab](const std::string& piece) {
        if (!vocab.contains(piece)) {
            vocab[piece] = vocab.size();
        }
    };
    add("<unk>");
    add(marker);
    for (char letter = 'a'; letter <= 'z'; ++letter) {
        add(std::string(1, letter));
    }
    for (const auto& word : quorl::bench::syntheticWords(300, 11)) {
        std::string piece = marker;
        for (std::size_t length = 0; length < 4 && vocab.size() < 1024; ++length) {
            merges.push_back(piece + " " + word[length]);
            piece += word[length];
            add(piece);
        }
    }
    return {{"model", {{"type", "BPE"}, {"vocab", vocab}, {"merges", merges}}}};
}

// The terms of a 1000-term vocabulary, one to three words each.
std::vector<std::string> vocabularyTerms() {
    const auto words = quorl::bench::syntheticWords(2000, 3);
    std::vector<std::string> terms;
    for (std::size_t index = 0; terms.size() < 1000; index += 1 + terms.size() % 3) {
        std::string term = words[index % words.size()];
        for (std::size_t extra = 1; extra <= terms.size() % 3; ++extra) {
            term += " " + words[(index + extra) % words.size()];
        }
        terms.push_back(term);
    }
    return terms;
}

void TokeniseThousandTermVocabulary(benchmark::State& state) {
    const fs::path folder = fs::temp_directory_path() / ("quorl-bpe-bench-" + std::to_string(getpid()));
    fs::create_directories(folder);
    std::ofstream(folder / "tokenizer.json") << tokenizerDescription().dump();
    const auto tokenizer = quorl::CtcTokenizer::load(folder);
    fs::remove_all(folder);
    const auto terms = vocabularyTerms();
    for (auto _ : state) {
        for (const auto& term : terms) {
            benchmark::DoNotOptimize(tokenizer.encode(term));
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(terms.size()));
}
BENCHMARK(TokeniseThousandTermVocabulary)->Unit(benchmark::kMillisecond);

} // namespace
