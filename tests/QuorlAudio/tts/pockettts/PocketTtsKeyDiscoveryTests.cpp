#include "QuorlAudio/tts/pockettts/PocketTtsLayerKeys.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsMimiKeys.hpp"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quorl {
namespace {

using Shape = std::vector<std::size_t>;
using Features = std::vector<std::pair<std::string, Shape>>;
using Kind = PocketTtsLayerKeys::ModelKind;

const Shape cacheShape{2, 1, 512, 16, 64};
const Shape positionShape{1};
const Shape transformerShape{1, 1, 1024};
const Shape eosShape{1, 1, 1};

std::map<std::string, platform::ml::FeatureDescription> featureMap(const Features& features) {
    std::map<std::string, platform::ml::FeatureDescription> map;
    for (const auto& [name, shape] : features) {
        platform::ml::MultiArrayConstraint constraint;
        constraint.shape = shape;
        map[name] = {.name = name, .multiArrayConstraint = constraint};
    }
    return map;
}

platform::ml::ModelDescription description(const Features& inputs, const Features& outputs) {
    platform::ml::ModelDescription model;
    model.inputDescriptionsByName = featureMap(inputs);
    model.outputDescriptionsByName = featureMap(outputs);
    return model;
}

// A six-layer model whose cache outputs are numbered like converted key/value pairs (1, 3, … 11).
Features sixLayerOutputs() {
    Features outputs;
    for (int layer = 0; layer < 6; ++layer) {
        outputs.push_back({"new_cache_" + std::to_string(2 * layer + 1) + "_x", cacheShape});
        outputs.push_back({"position" + std::to_string(layer), positionShape});
    }
    return outputs;
}

std::string discoveryFailure(const Features& outputs, Kind kind, const std::string& modelName) {
    try {
        PocketTtsLayerKeys::discover(description({}, outputs), kind, 6, modelName);
    } catch (const PocketTtsLayerKeys::DiscoveryError& error) {
        return error.what();
    }
    return "no failure";
}

TEST(PocketTtsLayerKeysTests, OrdersCachesByLayerAndPositionsNumerically) {
    const auto keys = PocketTtsLayerKeys::discover(description({}, sixLayerOutputs()), Kind::cond, 6, "cond_prefill");
    EXPECT_EQ(keys.cacheKeys, (std::vector<std::string>{"new_cache_1_x", "new_cache_3_x", "new_cache_5_x",
                                                        "new_cache_7_x", "new_cache_9_x", "new_cache_11_x"}));
    EXPECT_EQ(keys.positionKeys.front(), "position0");
    EXPECT_EQ(keys.positionKeys.back(), "position5");
    EXPECT_FALSE(keys.vCacheKeys);

    Features outputs{
        {"new_cache_x", cacheShape}, {"new_cache_3_a", cacheShape}, {"pos10", positionShape}, {"pos9", positionShape}};
    const auto twoLayers = PocketTtsLayerKeys::discover(description({}, outputs), Kind::cond, 2, "cond_step");
    EXPECT_EQ(twoLayers.cacheKeys, (std::vector<std::string>{"new_cache_3_a", "new_cache_x"}));
    EXPECT_EQ(twoLayers.positionKeys, (std::vector<std::string>{"pos9", "pos10"}));
}

TEST(PocketTtsLayerKeysTests, KeepsFlowOutputsOnlyForTheFlowModel) {
    auto outputs = sixLayerOutputs();
    outputs.push_back({"hidden", transformerShape});
    outputs.push_back({"eos", eosShape});
    outputs.push_back({"other", Shape{3}});
    const auto flow = PocketTtsLayerKeys::discover(description({}, outputs), Kind::flowlm, 6, "flowlm_step");
    EXPECT_EQ(flow.transformerOut, "hidden");
    EXPECT_EQ(flow.eosLogit, "eos");
    const auto cond = PocketTtsLayerKeys::discover(description({}, outputs), Kind::cond, 6, "cond_prefill");
    EXPECT_FALSE(cond.transformerOut);
    EXPECT_FALSE(cond.eosLogit);
}

TEST(PocketTtsLayerKeysTests, RejectsOutputsThatDoNotMatchTheLayers) {
    auto fiveCaches = sixLayerOutputs();
    std::erase_if(fiveCaches, [](const auto& feature) { return feature.first == "new_cache_11_x"; });
    EXPECT_EQ(discoveryFailure(fiveCaches, Kind::flowlm, "flowlm_step"),
              "PocketTTS layer-key discovery on flowlm_step: expected 6 cache outputs, found 5");

    auto fivePositions = sixLayerOutputs();
    std::erase_if(fivePositions, [](const auto& feature) { return feature.first == "position5"; });
    EXPECT_EQ(discoveryFailure(fivePositions, Kind::cond, "cond_prefill"),
              "PocketTTS layer-key discovery on cond_prefill: 6 cache outputs but 5 position outputs");

    auto noEos = sixLayerOutputs();
    noEos.push_back({"hidden", transformerShape});
    EXPECT_EQ(discoveryFailure(noEos, Kind::flowlm, "flowlm_step"),
              "PocketTTS flowlm_step missing flowlm outputs (transformer=true, eos=false)");
}

TEST(PocketTtsLayerKeysTests, NamesTheNeuralEngineLayoutFixed) {
    const auto flow = PocketTtsLayerKeys::aneKeys(24, Kind::flowlm);
    ASSERT_EQ(flow.cacheKeys.size(), 24U);
    EXPECT_EQ(flow.cacheKeys.front(), "new_k_cache0");
    EXPECT_EQ(flow.cacheKeys.back(), "new_k_cache23");
    EXPECT_EQ(flow.vCacheKeys->at(5), "new_v_cache5");
    EXPECT_EQ(flow.positionKeys.at(23), "new_position23");
    EXPECT_EQ(flow.transformerOut, "transformer_out");
    EXPECT_EQ(flow.eosLogit, "is_eos");

    const auto empty = PocketTtsLayerKeys::aneKeys(0, Kind::cond);
    EXPECT_TRUE(empty.cacheKeys.empty());
    EXPECT_TRUE(empty.vCacheKeys->empty());
    EXPECT_FALSE(empty.transformerOut);
}

TEST(PocketTtsLayerKeysTests, ReadsTheTrailingNumber) {
    const struct {
        std::string name;
        std::optional<std::int64_t> number;
    } cases[] = {
        {"position12", 12},        {"cache_5", 5},
        {"cache", std::nullopt},   {"", std::nullopt},
        {"x\u0663", std::nullopt}, {"x99999999999999999999", std::nullopt},
    };
    for (const auto& testCase : cases) {
        EXPECT_EQ(PocketTtsLayerKeys::trailingNumber(testCase.name), testCase.number) << testCase.name;
    }
}

const Features mimiInputs{{"latent", Shape{1, 32}},
                          {"attn0_cache", Shape{2, 8}},
                          {"attn1_cache", Shape{2, 8}},
                          {"conv0_prev", Shape{1, 4}},
                          {"extra", Shape{9}}};

std::string mimiFailure(const Features& inputs, const Features& outputs) {
    try {
        PocketTtsMimiKeys::discover(description(inputs, outputs));
    } catch (const PocketTtsMimiKeys::DiscoveryError& error) {
        return error.what();
    }
    return "no failure";
}

TEST(PocketTtsMimiKeysTests, MapsStatesByNameOrByShapeInCanonicalOrder) {
    const auto sameNames = PocketTtsMimiKeys::discover(description(mimiInputs, {{"audio", Shape{1, 1, 1920}},
                                                                                {"attn0_cache", Shape{2, 8}},
                                                                                {"attn1_cache", Shape{2, 8}},
                                                                                {"conv0_prev", Shape{1, 4}}}));
    EXPECT_EQ(sameNames.audioOutput, "audio");
    EXPECT_EQ(sameNames.stateMapping,
              (std::vector<PocketTtsMimiKeys::StatePair>{
                  {"attn0_cache", "attn0_cache"}, {"attn1_cache", "attn1_cache"}, {"conv0_prev", "conv0_prev"}}));

    const auto byShape = PocketTtsMimiKeys::discover(description(mimiInputs, {{"audio", Shape{1, 1, 1920}},
                                                                              {"out_10", Shape{2, 8}},
                                                                              {"out_9", Shape{2, 8}},
                                                                              {"out_2", Shape{1, 4}},
                                                                              {"spare", Shape{7}}}));
    EXPECT_EQ(byShape.stateMapping, (std::vector<PocketTtsMimiKeys::StatePair>{
                                        {"attn0_cache", "out_9"}, {"attn1_cache", "out_10"}, {"conv0_prev", "out_2"}}));
    EXPECT_FALSE(byShape.stateShapes.contains("latent"));
    EXPECT_EQ(byShape.stateShapes.at("extra"), Shape{9});
}

TEST(PocketTtsMimiKeysTests, RejectsADecoderItCannotMap) {
    EXPECT_EQ(mimiFailure(mimiInputs, {{"attn0_cache", Shape{2, 8}}}),
              "PocketTTS Mimi decoder is missing a [1, 1, 1920] audio output");
    auto withUpsample = mimiInputs;
    withUpsample.push_back({"upsample_partial", Shape{1, 512, 3}});
    EXPECT_EQ(mimiFailure(withUpsample, {{"audio", Shape{1, 1, 1920}},
                                         {"attn0_cache", Shape{2, 8}},
                                         {"attn1_cache", Shape{2, 8}},
                                         {"conv0_prev", Shape{1, 4}}}),
              "PocketTTS Mimi decoder: no output of shape [1, 512, 3] for state input 'upsample_partial'");
}

} // namespace
} // namespace quorl
