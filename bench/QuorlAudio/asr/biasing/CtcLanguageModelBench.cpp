#include "QuorlAudio/asr/biasing/ARPALanguageModel.hpp"
#include "QuorlAudio/asr/biasing/CtcBeamSearch.hpp"
#include "SyntheticVocabulary.hpp"

#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr std::size_t unigramCount = 20000;
constexpr std::size_t bigramCount = 80000;
// 30 s of encoder frames of 0.08 s over the 110M model's 1024 pieces and its blank.
constexpr std::size_t frameCount = 375;
constexpr int blankId = 1024;

// A 100 000-line ARPA file of made-up words, n-grams written with spaces as standard files do.
fs::path writeArpaFile(const std::vector<std::string>& words) {
    const fs::path path = fs::temp_directory_path() / ("quorl-arpa-bench-" + std::to_string(getpid()) + ".arpa");
    std::ofstream file(path);
    file << "\\data\\\nngram 1=" << unigramCount << "\nngram 2=" << bigramCount << "\n\n\\1-grams:\n";
    for (std::size_t index = 0; index < unigramCount; ++index) {
        file << "-" << 1 + index % 50 / 10.0 << "\t" << words[index] << "\t-0." << index % 9 + 1 << "\n";
    }
    file << "\n\\2-grams:\n";
    for (std::size_t index = 0; index < bigramCount; ++index) {
        file << "-0." << index % 9 + 1 << "\t" << words[index * 7 % unigramCount] << " "
             << words[index * 13 % unigramCount] << "\n";
    }
    file << "\n\\end\\\n";
    return path;
}

void LoadArpaFileOf100000Lines(benchmark::State& state) {
    const fs::path path = writeArpaFile(quorl::bench::syntheticWords(unigramCount, 3));
    for (auto _ : state) {
        benchmark::DoNotOptimize(quorl::ARPALanguageModel::load(path));
    }
    fs::remove(path);
}
BENCHMARK(LoadArpaFileOf100000Lines)->Unit(benchmark::kMillisecond);

// Pieces opening a word for half the vocabulary, word-inner pieces for the rest.
quorl::CtcVocabulary pieces(const std::vector<std::string>& words) {
    quorl::CtcVocabulary vocabulary;
    for (int id = 0; id < blankId; ++id) {
        const std::string& word = words[static_cast<std::size_t>(id)];
        vocabulary.emplace(id, id % 2 == 0 ? "\u2581" + word.substr(0, 3) : word.substr(0, 2));
    }
    return vocabulary;
}

// Log-softmax frames: the blank dominates two frames in three, as in speech, and a few pieces compete in the
// others.
quorl::CtcLogProbs speechLikeFrames() {
    std::mt19937 generator(5);
    std::normal_distribution<float> logit(0, 2);
    quorl::CtcLogProbs frames(frameCount, std::vector<float>(blankId + 1));
    for (std::size_t frame = 0; frame < frameCount; ++frame) {
        auto& values = frames[frame];
        for (auto& value : values) {
            value = logit(generator);
        }
        values[frame % 3 == 0 ? frame * 37 % blankId : blankId] += 8;
        float sum = 0;
        for (const float value : values) {
            sum += std::exp(value);
        }
        for (auto& value : values) {
            value -= std::log(sum);
        }
    }
    return frames;
}

void BeamSearch30SecondsBeam8(benchmark::State& state) {
    const auto words = quorl::bench::syntheticWords(unigramCount, 3);
    const fs::path path = writeArpaFile(words);
    const auto model = quorl::ARPALanguageModel::load(path);
    fs::remove(path);
    const auto vocabulary = pieces(words);
    const auto frames = speechLikeFrames();
    const bool withModel = state.range(0) == 1;
    const quorl::CtcBeamSearchConfig config{.lm = withModel ? &model : nullptr,
                                            .beamWidth = 8,
                                            .lmWeight = 0.5F,
                                            .wordBonus = 1.0F,
                                            .blankId = blankId,
                                            .tokenCandidates = static_cast<int>(state.range(1))};
    for (auto _ : state) {
        benchmark::DoNotOptimize(quorl::ctcBeamSearch(frames, vocabulary, config));
    }
}
BENCHMARK(BeamSearch30SecondsBeam8)
    ->ArgNames({"lm", "candidates"})
    ->Args({0, 8})
    ->Args({1, 8})
    ->Args({1, 32})
    ->Unit(benchmark::kMillisecond);

} // namespace
