#include "QuorlAudio/tts/frontend/LexiconAssetCache.hpp"

#include <benchmark/benchmark.h>

#include <array>
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <string_view>
#include <unistd.h>
#include <unordered_set>

namespace {

namespace fs = std::filesystem;

constexpr std::array<std::string_view, 12> phonemes{"h", "ə", "l", "O", "k", "æ", "t", "ɹ", "ˈ", "s", "ɪ", "ŋ"};

// Every phoneme but the stress mark, so the filter drops some tokens of most words.
std::unordered_set<std::string> allowedTokens() {
    std::unordered_set<std::string> allowed;
    for (const auto phoneme : phonemes) {
        if (phoneme != "ˈ") {
            allowed.emplace(phoneme);
        }
    }
    return allowed;
}

std::string tokenList(std::mt19937& random) {
    std::string list = "[";
    const int length = 3 + static_cast<int>(random() % 6);
    for (int index = 0; index < length; ++index) {
        list += (index == 0 ? "\"" : ",\"") + std::string(phonemes[random() % phonemes.size()]) + "\"";
    }
    return list + "]";
}

// A lexicon of `words` lower-case words and a case-sensitive tenth as many, in a new folder.
fs::path writeLexicon(std::size_t words) {
    const fs::path folder = fs::temp_directory_path() / ("lexicon-bench-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    std::mt19937 random(7);
    std::ofstream file(folder / quorl::LexiconAssetCache::fileName, std::ios::binary);
    file << "{\"lower\":{";
    for (std::size_t index = 0; index < words; ++index) {
        file << (index == 0 ? "" : ",") << "\"word" << index << "\":" << tokenList(random);
    }
    file << "},\"caseSensitive\":{";
    for (std::size_t index = 0; index < words / 10; ++index) {
        file << (index == 0 ? "" : ",") << "\"Word" << index << "\":" << tokenList(random);
    }
    file << "}}";
    return folder;
}

void BM_EnsureLoadedOneHundredThousandWords(benchmark::State& state) {
    const fs::path folder = writeLexicon(100'000);
    const auto allowed = allowedTokens();
    for (auto _ : state) {
        quorl::LexiconAssetCache cache;
        cache.ensureLoaded(folder, allowed);
        benchmark::DoNotOptimize(&cache);
    }
    fs::remove_all(folder);
}

} // namespace

BENCHMARK(BM_EnsureLoadedOneHundredThousandWords)->Unit(benchmark::kMillisecond);
