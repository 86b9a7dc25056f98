#include "QuorlAudio/asr/multilingual/NemotronMultilingualTokenizer.hpp"

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

constexpr std::int64_t vocabularySize = 13087;
constexpr std::int64_t firstTag = 13000;

// A vocabulary of the multilingual model's size: word starts, word continuations, a few multi-byte pieces
// and 87 language tags at the end.
std::filesystem::path writeVocabulary() {
    nlohmann::json vocabulary = nlohmann::json::object();
    for (std::int64_t id = 0; id < vocabularySize; ++id) {
        const std::string number = std::to_string(id);
        std::string piece;
        if (id >= firstTag) {
            piece.append("<l").append(std::to_string(id - firstTag)).append(">");
        } else if (id % 3 == 0) {
            piece.append("\u2581w").append(number);
        } else if (id % 7 == 0) {
            piece.append("\u00e9").append(number);
        } else {
            piece.append("p").append(number);
        }
        vocabulary[number] = piece;
    }
    const auto path = std::filesystem::temp_directory_path() /
                      ("multilingual-bench-" + std::to_string(::getpid()) + "-tokenizer.json");
    std::ofstream(path) << vocabulary.dump();
    return path;
}

// A transcript as a stream accumulates it: a language tag first, then ordinary pieces with a tag now and
// then where the model switched language.
std::vector<std::int64_t> transcript(std::size_t length) {
    std::mt19937 generator(37);
    std::uniform_int_distribution<std::int64_t> piece(0, firstTag - 1);
    std::vector<std::int64_t> ids{firstTag};
    while (ids.size() < length) {
        ids.push_back(ids.size() % 250 == 0 ? firstTag + 1 : piece(generator));
    }
    return ids;
}

void BM_NemotronMultilingualTokenizerDecodeTranscript(benchmark::State& state) {
    const auto path = writeVocabulary();
    const quorl::NemotronMultilingualTokenizer tokenizer(path, [] {
        std::set<std::int64_t> tags;
        for (std::int64_t id = firstTag; id < vocabularySize; ++id) {
            tags.insert(id);
        }
        return tags;
    }());
    std::filesystem::remove(path);
    const auto ids = transcript(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        auto decoded = tokenizer.decode(ids);
        benchmark::DoNotOptimize(decoded);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_NemotronMultilingualTokenizerDecodeTranscript)->Arg(2000);

} // namespace
