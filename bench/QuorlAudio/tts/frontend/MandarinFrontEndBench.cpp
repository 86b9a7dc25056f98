#include "QuorlAudio/tts/frontend/MandarinJiebaHmm.hpp"
#include "QuorlAudio/tts/frontend/MandarinNumberNormalizer.hpp"
#include "QuorlAudio/tts/frontend/MandarinPinyinDict.hpp"

#include "platform/text/Utf8.hpp"
#include "tests/QuorlAudio/tts/frontend/MandarinDictionaryFiles.hpp"

#include <benchmark/benchmark.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

using quorl::MandarinJiebaHmmTables;

constexpr char32_t firstHan = 0x4E00;
constexpr std::uint32_t hanCount = 6000;

// A small linear congruential generator, so every run sees the same tables and texts.
class Sequence {
public:
    std::uint32_t next() {
        state_ = state_ * 1664525U + 1013904223U;
        return state_ >> 8;
    }
    double score() { return -1.0 - static_cast<double>(next() % 1000) / 100.0; }

private:
    std::uint32_t state_ = 1;
};

// Jieba-like tables: ordinary transition scores and an emission row for each of 6,000 Han characters.
MandarinJiebaHmmTables segmentationTables() {
    Sequence sequence;
    MandarinJiebaHmmTables tables;
    tables.start = {-0.26, -3.14e100, -3.14e100, -1.47};
    tables.trans = {{{-3.14e100, -0.92, -0.51, -3.14e100},
                     {-3.14e100, -1.26, -0.33, -3.14e100},
                     {-0.59, -3.14e100, -3.14e100, -0.81},
                     {-0.72, -3.14e100, -3.14e100, -0.67}}};
    for (std::uint32_t k = 0; k < hanCount; ++k) {
        const std::string character = platform::text::encodeScalars(std::u32string(1, firstHan + k));
        tables.emit[character] = {sequence.score(), sequence.score(), sequence.score(), sequence.score()};
    }
    return tables;
}

std::string hanRun(std::size_t characters) {
    Sequence sequence;
    std::u32string scalars;
    for (std::size_t k = 0; k < characters; ++k) {
        scalars.push_back(firstHan + sequence.next() % (hanCount + 200));
    }
    return platform::text::encodeScalars(scalars);
}

void BM_SegmentTenThousandCharacters(benchmark::State& state) {
    const quorl::MandarinJiebaHmm hmm(segmentationTables());
    const std::string text = hanRun(10'000);
    for (auto _ : state) {
        const std::vector<std::string> words = hmm.segment(text);
        benchmark::DoNotOptimize(words.data());
    }
    state.SetItemsProcessed(state.iterations() * 10'000);
}
BENCHMARK(BM_SegmentTenThousandCharacters)->Unit(benchmark::kMillisecond);

// 400,000 singles of one to three readings and 100,000 phrases of two to four characters.
void BM_ParseFourHundredThousandSinglesAndOneHundredThousandPhrases(benchmark::State& state) {
    constexpr std::array<std::string_view, 4> readings{"zhōng", "guó", "rén", "mín"};
    Sequence sequence;
    std::string singles;
    for (std::uint32_t k = 0; k < 400'000; ++k) {
        std::vector<std::string> list(1 + sequence.next() % 3);
        for (std::string& reading : list) {
            reading = readings[sequence.next() % readings.size()];
        }
        singles += testsupport::singlesRecord(firstHan + k, list);
    }
    std::string phrases;
    for (std::uint32_t k = 0; k < 100'000; ++k) {
        std::u32string key(2 + sequence.next() % 3, U'\0');
        std::vector<std::string> syllables;
        for (char32_t& character : key) {
            character = firstHan + sequence.next() % 20'000;
            syllables.emplace_back(readings[sequence.next() % readings.size()]);
        }
        phrases += testsupport::phrasesRecord(platform::text::encodeScalars(key), syllables);
    }
    for (auto _ : state) {
        const quorl::MandarinPinyinDict dict(quorl::MandarinPinyinDict::parsePhrases(phrases),
                                             quorl::MandarinPinyinDict::parseSingles(singles));
        benchmark::DoNotOptimize(dict.maxPhraseCharCount());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(singles.size() + phrases.size()));
}
BENCHMARK(BM_ParseFourHundredThousandSinglesAndOneHundredThousandPhrases)->Unit(benchmark::kMillisecond);

// About 2,000 characters of sentences each holding dates, times, amounts, percentages, fractions and numbers.
std::string textFullOfNumbers() {
    constexpr std::array<std::string_view, 5> sentences{
        "2024年3月5号上午08:05，我们花了¥12.50买了3/4公斤苹果。",
        "会议于2023-11-20 14:30:15开始，共有1200人参加，出席率是85.5%。",
        "他用$3.99买了2本书，又用€15和£100换了10010个积分。",
        "2019年的人口是100000001，增长了0.05个百分点，约为3.14倍。",
        "第7章第12节写着：1,000个零件中有007个不合格。",
    };
    std::string text;
    std::size_t characters = 0;
    for (std::size_t index = 0; characters < 2000; ++index) {
        const std::string_view sentence = sentences[index % sentences.size()];
        text += sentence;
        characters += platform::text::decodeScalars(sentence).size();
    }
    return text;
}

void BM_NormalizeTwoThousandCharactersOfNumbers(benchmark::State& state) {
    const std::string text = textFullOfNumbers();
    for (auto _ : state) {
        const std::string normalized = quorl::MandarinNumberNormalizer::normalize(text);
        benchmark::DoNotOptimize(normalized.data());
    }
    state.SetItemsProcessed(state.iterations() * 2000);
}
BENCHMARK(BM_NormalizeTwoThousandCharactersOfNumbers)->Unit(benchmark::kMicrosecond);

} // namespace
