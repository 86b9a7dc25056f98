#include "QuorlAudio/foundation/PrefetchToNeuralEngine.hpp"
#include "QuorlAudio/foundation/ZeroCopyDiarizerFeatureProvider.hpp"
#include "QuorlAudio/foundation/ZeroCopyFeatureProvider.hpp"

#include "platform/ml/DictionaryFeatureProvider.hpp"
#include "tests/support/MultiArrayValues.hpp"

#include <gtest/gtest.h>

namespace quorl {
namespace {

using platform::ml::DataType;
using platform::ml::DictionaryFeatureProvider;
using platform::ml::FeatureValue;
using platform::ml::MultiArray;

TEST(ZeroCopyFeatureProvider, ChainPassesTheSameArrayUnderTheNextModelsInputName) {
    auto encoded = testsupport::makeArray({1, 2}, {1, 2});
    DictionaryFeatureProvider output(
        {{"encoder", FeatureValue(encoded)}, {"encoder_length", FeatureValue(std::int64_t{2})}});

    auto chained = ZeroCopyFeatureProvider::chain(output, "encoder", "encoder_step");
    ASSERT_TRUE(chained.has_value());
    EXPECT_EQ(chained->featureNames(), (std::set<std::string>{"encoder_step"}));
    EXPECT_EQ(chained->featureValue("encoder_step")->multiArrayValue(), encoded);
    EXPECT_FALSE(chained->featureValue("encoder").has_value());
    EXPECT_FALSE(ZeroCopyFeatureProvider::chain(output, "logits", "x").has_value());
}

TEST(ZeroCopyDiarizerFeatureProvider, ChainAddsTheChainedValueOverTheAdditionalFeatures) {
    auto segments = testsupport::makeArray({1}, {3});
    auto stale = testsupport::makeArray({1}, {0});
    auto mask = testsupport::makeArray({1}, {1});
    DictionaryFeatureProvider output({{"segments", FeatureValue(segments)}});

    auto chained = ZeroCopyDiarizerFeatureProvider::chain(
        output, "segments", "waveform", {{"waveform", FeatureValue(stale)}, {"mask", FeatureValue(mask)}});
    ASSERT_TRUE(chained.has_value());
    EXPECT_EQ(chained->features.at("waveform").multiArrayValue(), segments);
    EXPECT_EQ(chained->features.at("mask").multiArrayValue(), mask);
    EXPECT_FALSE(ZeroCopyDiarizerFeatureProvider::chain(output, "missing", "waveform", {}).has_value());
}

TEST(ZeroCopyDiarizerFeatureProvider, BatchProviderPairsWaveformsAndMasksUpToTheShorterList) {
    std::vector<std::shared_ptr<MultiArray>> waveforms;
    std::vector<std::shared_ptr<MultiArray>> masks;
    for (int index = 0; index < 3; ++index) {
        waveforms.push_back(std::make_shared<MultiArray>(MultiArray::Shape{4}, DataType::float32));
    }
    for (int index = 0; index < 2; ++index) {
        masks.push_back(std::make_shared<MultiArray>(MultiArray::Shape{2}, DataType::float32));
    }
    const auto providers = ZeroCopyDiarizerFeatureProvider::batchProvider(waveforms, masks);
    ASSERT_EQ(providers.size(), 2u);
    for (std::size_t index = 0; index < providers.size(); ++index) {
        EXPECT_EQ(providers[index].featureNames(), (std::set<std::string>{"mask", "waveform"}));
        EXPECT_EQ(providers[index].features.at("waveform").multiArrayValue(), waveforms[index]);
        EXPECT_EQ(providers[index].features.at("mask").multiArrayValue(), masks[index]);
    }
}

TEST(PrefetchToNeuralEngine, ReadsWithoutChangingAndAcceptsEmptyArrays) {
    prefetchToNeuralEngine(MultiArray({}, DataType::float32));
    prefetchToNeuralEngine(MultiArray({0, 4}, DataType::float32));
    auto array = testsupport::makeArray({2}, {1, 2});
    prefetchToNeuralEngine(*array);
    EXPECT_EQ(testsupport::valuesOf(*array), (std::vector<double>{1, 2}));
}

} // namespace
} // namespace quorl
