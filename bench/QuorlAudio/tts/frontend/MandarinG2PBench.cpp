#include "QuorlAudio/tts/frontend/MandarinG2P.hpp"

#include "platform/ml/KernelRegistry.hpp"
#include "platform/ml/Model.hpp"
#include "platform/text/Utf8.hpp"
#include "tests/support/ModelBundleWriter.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <benchmark/benchmark.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace {

using platform::ml::DataType;
using platform::ml::FeatureValue;
using platform::ml::MultiArray;

constexpr char32_t firstHan = 0x4E00;
constexpr std::uint32_t hanCount = 3000;
// Every 40th character of the pool has two readings.
constexpr std::uint32_t polyphoneEvery = 40;
constexpr std::array<std::string_view, 6> readings{"zhōng", "guó", "rén", "mín", "hǎo", "shì"};

// A small linear congruential generator, so every run sees the same dictionary and text.
class Sequence {
public:
    std::uint32_t next() {
        state_ = state_ * 1664525U + 1013904223U;
        return state_ >> 8;
    }

private:
    std::uint32_t state_ = 7;
};

std::string han(std::uint32_t index) { return platform::text::encodeScalars(std::u32string(1, firstHan + index)); }

// Single readings for the whole pool and 20,000 phrases of two to four characters.
std::shared_ptr<const quorl::MandarinPinyinDict> dictionary() {
    Sequence sequence;
    quorl::MandarinPinyinDict::Singles singles;
    for (std::uint32_t k = 0; k < hanCount; ++k) {
        auto& list = singles[firstHan + k];
        list.emplace_back(readings[k % readings.size()]);
        if (k % polyphoneEvery == 0) {
            list.emplace_back(readings[(k + 1) % readings.size()]);
        }
    }
    quorl::MandarinPinyinDict::Phrases phrases;
    while (phrases.size() < 20'000) {
        std::string key;
        std::vector<std::string> syllables;
        for (std::uint32_t length = 2 + sequence.next() % 3; length > 0; --length) {
            key += han(sequence.next() % hanCount);
            syllables.emplace_back(readings[sequence.next() % readings.size()]);
        }
        phrases.emplace(key, syllables);
    }
    return std::make_shared<const quorl::MandarinPinyinDict>(phrases, singles);
}

// 1,000 characters: runs of pool characters between full-width commas, with a number now and then.
std::string thousandCharacters() {
    Sequence sequence;
    std::string text;
    for (std::size_t characters = 0; characters < 1000; ++characters) {
        if (characters % 25 == 24) {
            text += "，";
        } else if (characters % 97 == 50) {
            text += "7";
        } else {
            text += han(sequence.next() % hanCount);
        }
    }
    return text;
}

// A polyphone model that answers the same two scores whatever it is asked.
class TrivialG2pw : public platform::ml::Kernel {
public:
    std::map<std::string, FeatureValue> predict(const platform::ml::FeatureProvider&, platform::ml::ModelState*,
                                                const platform::ml::PredictionOptions&) override {
        return {{"logits", FeatureValue(logits_)}};
    }

private:
    std::shared_ptr<MultiArray> logits_ = std::make_shared<MultiArray>(MultiArray::Shape{2}, DataType::float32);
};

std::shared_ptr<const quorl::MandarinG2pwModel> polyphoneModel(const std::filesystem::path& folder) {
    platform::ml::registerKernel("g2pw-bench", [](const auto&) { return std::make_unique<TrivialG2pw>(); });
    const auto bundle = testsupport::writeModelBundle(
        folder, "g2pw.mlmodelc",
        testsupport::modelManifest("g2pw-bench",
                                   {testsupport::flexibleFeature("input_ids", {1, 0}, DataType::int32),
                                    testsupport::flexibleFeature("attention_mask", {1, 0}, DataType::int32),
                                    testsupport::flexibleFeature("token_type_ids", {1, 0}, DataType::int32),
                                    testsupport::multiArrayFeature("target_position", {1}, DataType::int32)},
                                   {testsupport::flexibleFeature("logits", {0})}));
    quorl::MandarinBertTokenizer::Vocab vocab{{"[PAD]", 0}, {"[UNK]", 1}, {"[CLS]", 2}, {"[SEP]", 3}};
    std::string catalog;
    for (std::uint32_t k = 0; k < hanCount; ++k) {
        vocab.emplace(han(k), static_cast<std::int32_t>(vocab.size()));
        if (k % polyphoneEvery == 0) {
            catalog += han(k) + " ㄓㄨㄥ\n" + han(k) + " ㄓㄨㄥˋ\n";
        }
    }
    return std::make_shared<const quorl::MandarinG2pwModel>(
        platform::ml::Model::load(bundle), quorl::MandarinBertTokenizer(vocab),
        quorl::MandarinPolyphoneCatalog(catalog), quorl::MandarinBertTokenizer::defaultMaxLength);
}

void BM_PhonemizeThousandCharactersWithTwentyThousandPhrases(benchmark::State& state) {
    const testsupport::TemporaryFolder folder;
    const quorl::MandarinG2P pipeline(dictionary(), nullptr, polyphoneModel(folder.path()));
    const std::string text = thousandCharacters();
    for (auto _ : state) {
        const std::string phonemes = pipeline.phonemize(text);
        benchmark::DoNotOptimize(phonemes.data());
    }
    state.SetItemsProcessed(state.iterations() * 1000);
}
BENCHMARK(BM_PhonemizeThousandCharactersWithTwentyThousandPhrases)->Unit(benchmark::kMicrosecond);

} // namespace
