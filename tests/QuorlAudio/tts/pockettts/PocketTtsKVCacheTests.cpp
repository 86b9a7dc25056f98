#include "QuorlAudio/tts/pockettts/PocketTtsKVCache.hpp"

#include "QuorlAudio/tts/pockettts/PocketTTSError.hpp"
#include "tests/QuorlAudio/tts/pockettts/PocketTtsCacheModels.hpp"
#include "tests/support/ErrorText.hpp"
#include "tests/support/MultiArrayValues.hpp"
#include "tests/support/RecordingLogSink.hpp"
#include "tests/support/ScriptedKernel.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace quorl::PocketTtsSynthesizer {
namespace {

using testsupport::errorText;
using testsupport::ScriptedKernel;

constexpr std::size_t width = 1024;
constexpr std::size_t planeSize = 512 * width;

// Layer i's float k is i * 1000 + k, so keys and values of every layer differ.
PocketTtsVoiceCacheSnapshot snapshot(std::int64_t layers, std::int64_t seqLen, std::int64_t offset) {
    PocketTtsVoiceCacheSnapshot result{.layers = {}, .cacheSeqLen = seqLen};
    for (std::int64_t layer = 0; layer < layers; ++layer) {
        std::vector<float> cache(static_cast<std::size_t>(seqLen) * 2 * width);
        for (std::size_t k = 0; k < cache.size(); ++k) {
            cache[k] = static_cast<float>(layer * 1000) + static_cast<float>(k % 997);
        }
        result.layers.push_back({.cache = std::move(cache), .offset = offset});
    }
    return result;
}

std::vector<std::vector<float>> embeddings(std::size_t count) {
    return std::vector<std::vector<float>>(count, std::vector<float>(width, 0.5F));
}

PocketTtsVoiceData clonedVoice(std::int64_t frames) {
    return {.audioPrompt = std::vector<float>(static_cast<std::size_t>(frames) * width, 2.0F),
            .promptLength = frames,
            .cacheSnapshot = std::nullopt};
}

const std::vector<float> bosBeforeVoice(width, 1.0F);

// A conditioner loaded twice, as step and prefill model, answering as an honest cache model. One layer
// unless a test needs more: the runtime's recording copies every cache of every call.
class PocketTtsKVCacheTest : public ::testing::Test {
protected:
    ConditioningModels models(bool fast, std::int64_t layers = 1) {
        keys = pocketttscache::layerKeys(layers, false, false);
        return {.step = step, .stepKeys = keys, .prefill = prefill, .prefillKeys = keys, .useFastPrefill = fast};
    }

    std::vector<double> validLengths() const {
        std::vector<double> lengths;
        for (const auto& call : conditioner.calls()) {
            lengths.push_back(pocketttscache::tokensOf(call));
        }
        return lengths;
    }

    testsupport::TemporaryFolder scratch;
    testsupport::RecordingLogSink sink;
    PocketTtsLayerKeys keys;
    ScriptedKernel conditioner{"kv-conditioner", [this](const ScriptedKernel::Call& call) {
                                   return pocketttscache::cacheOutputs(call, keys, pocketttscache::tokensOf(call));
                               }};
    std::shared_ptr<platform::ml::Model> step =
        pocketttscache::loadModel(scratch.path(), "cond_step", pocketttscache::conditionerManifest("kv-conditioner"));
    std::shared_ptr<platform::ml::Model> prefill = pocketttscache::loadModel(
        scratch.path(), "cond_prefill", pocketttscache::conditionerManifest("kv-conditioner"));
};

TEST_F(PocketTtsKVCacheTest, ShippedVoiceFillsTheCacheFromItsSnapshotWithoutAModel) {
    const PocketTtsVoiceData voice{.audioPrompt = {}, .promptLength = 0, .cacheSnapshot = snapshot(6, 125, 125)};
    const auto state = prefillKVCache(voice, {}, std::nullopt, models(true, 6));
    ASSERT_EQ(state.caches.size(), 6U);
    EXPECT_FALSE(state.vCaches);
    const auto& source = voice.cacheSnapshot->layers[5].cache;
    const auto values = testsupport::valuesOf(*state.caches[5]);
    EXPECT_EQ(state.caches[5]->shape(), (platform::ml::MultiArray::Shape{2, 1, 512, 16, 64}));
    EXPECT_EQ(values[0], source[0]);
    EXPECT_EQ(values[125 * width - 1], source[125 * width - 1]);
    EXPECT_EQ(values[125 * width], 0.0);
    EXPECT_EQ(values[planeSize], source[125 * width]);
    EXPECT_EQ(values[planeSize + 125 * width - 1], source.back());
    EXPECT_EQ(values[planeSize + 125 * width], 0.0);
    for (const auto& position : state.positions) {
        EXPECT_EQ(position->value(0), 125.0);
    }
    EXPECT_TRUE(conditioner.calls().empty());
    EXPECT_EQ(sink.messages("PocketTtsSynthesizer").back(), "KV cache prefilled to position 125");
}

TEST_F(PocketTtsKVCacheTest, SplitStateKeepsKeysAndValuesApart) {
    const auto voice = snapshot(2, 3, 3);
    const auto state = kvCacheStateFromSnapshot(voice, 2, true);
    ASSERT_TRUE(state.vCaches);
    const auto keysOf1 = testsupport::valuesOf(*state.caches[1]);
    const auto valuesOf1 = testsupport::valuesOf(*(*state.vCaches)[1]);
    EXPECT_EQ(state.caches[1]->shape(), (platform::ml::MultiArray::Shape{1, 512, 16, 64}));
    EXPECT_EQ(keysOf1[3 * width - 1], voice.layers[1].cache[3 * width - 1]);
    EXPECT_EQ(valuesOf1[0], voice.layers[1].cache[3 * width]);
    EXPECT_EQ(valuesOf1[3 * width], 0.0);
}

TEST_F(PocketTtsKVCacheTest, MalformedSnapshotsAreRefusedBeforeAnythingIsBuilt) {
    auto shortLayer = snapshot(6, 125, 125);
    shortLayer.layers[0].cache.resize(1000);
    const std::vector<std::pair<PocketTtsVoiceCacheSnapshot, std::string>> cases{
        {snapshot(6, 513, 0), "Processing failed: voice snapshot seqLen 513 exceeds model capacity 512"},
        {snapshot(24, 1, 1), "Processing failed: voice snapshot layer count 24 != model layer count 6"},
        {shortLayer, "Processing failed: voice snapshot layer 0 has 1000 floats, expected 256000"},
    };
    for (const auto& [voice, message] : cases) {
        EXPECT_EQ(errorText([&] { kvCacheStateFromSnapshot(voice, 6, false); }), message);
    }
}

TEST_F(PocketTtsKVCacheTest, FastPrefillTakesAClonedVoiceInOneCallAndTextIn256TokenCalls) {
    const auto state = prefillKVCache(clonedVoice(125), embeddings(300), bosBeforeVoice, models(true));
    EXPECT_EQ(validLengths(), (std::vector<double>{126, 256, 44}));
    const auto first = testsupport::valuesOf(*conditioner.calls()[0].inputs.at("conditioning").multiArrayValue());
    EXPECT_EQ(first[0], 1.0);
    EXPECT_EQ(first[width], 2.0);
    EXPECT_EQ(first[126 * width - 1], 2.0);
    EXPECT_EQ(first[126 * width], 0.0);
    EXPECT_EQ(cachePosition(state), 426.0);
    EXPECT_EQ(sink.messages("PocketTtsSynthesizer").back(), "KV cache prefilled to position 426");
}

TEST_F(PocketTtsKVCacheTest, StepPrefillRunsOneCallPerToken) {
    const auto state = prefillKVCache(clonedVoice(125), embeddings(300), bosBeforeVoice, models(false));
    const auto calls = conditioner.calls();
    ASSERT_EQ(calls.size(), 426U);
    EXPECT_FALSE(calls[0].inputs.contains("valid_len"));
    EXPECT_EQ(calls[0].inputs.at("conditioning").multiArrayValue()->shape(),
              (platform::ml::MultiArray::Shape{1, 1, 1024}));
    EXPECT_EQ(calls[0].inputs.at("conditioning").multiArrayValue()->value(0), 1.0);
    EXPECT_EQ(calls[1].inputs.at("conditioning").multiArrayValue()->value(0), 2.0);
    EXPECT_EQ(calls[126].inputs.at("conditioning").multiArrayValue()->value(0), 0.5);
    EXPECT_EQ(cachePosition(state), 426.0);
}

// Every refusal comes before the first model call.
TEST_F(PocketTtsKVCacheTest, UnusableVoicesAndOverlongPromptsAreRefused) {
    auto shortPrompt = clonedVoice(10);
    shortPrompt.audioPrompt.resize(9 * width);
    const PocketTtsVoiceData shipped{.audioPrompt = {}, .promptLength = 0, .cacheSnapshot = snapshot(6, 125, 125)};
    struct Case {
        const char* name;
        PocketTtsVoiceData voice;
        std::optional<std::vector<float>> bos;
        std::size_t textTokens;
        std::string message;
    };
    const std::vector<Case> cases{
        {"no bos_before_voice", clonedVoice(2), std::nullopt, 0,
         "Processing failed: PocketTTS v1 cloned-voice prefill requires bos_before_voice constant. Re-download the "
         "language pack to get constants_bin/bos_before_voice.bin."},
        {"short bos_before_voice", clonedVoice(2), std::vector<float>(512), 0,
         "Processing failed: bos_before_voice has 512 floats, expected 1024"},
        {"prompt short of its frames", shortPrompt, bosBeforeVoice, 0,
         "Processing failed: voice prompt of 10 frames has 9216 floats, expected 10240"},
        {"past the cache", shipped, std::nullopt, 388,
         "Processing failed: KV cache prefill of 388 tokens from position 125 passes its capacity 512"},
        {"cloned voice past the cache", clonedVoice(125), bosBeforeVoice, 387,
         "Processing failed: KV cache prefill of 513 tokens from position 0 passes its capacity 512"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(errorText([&] { prefillKVCache(c.voice, embeddings(c.textTokens), c.bos, models(true, 6)); }),
                  c.message);
    }
    EXPECT_TRUE(conditioner.calls().empty());
    EXPECT_EQ(cachePosition(prefillKVCache(shipped, embeddings(387), std::nullopt, models(true, 6))), 512.0);
}

TEST_F(PocketTtsKVCacheTest, NoVoiceAndNoTextGiveTheZeroState) {
    const PocketTtsVoiceData none{};
    const auto state = prefillKVCache(none, {}, std::nullopt, models(true, 6));
    EXPECT_EQ(state.caches.size(), 6U);
    EXPECT_EQ(cachePosition(state), 0.0);
    EXPECT_TRUE(conditioner.calls().empty());
    EXPECT_EQ(sink.messages("PocketTtsSynthesizer").back(), "KV cache prefilled to position 0");
}

TEST(PocketTtsKVCache, CloneCopiesContentIntoNewArraysOfTheSameType) {
    KVCacheState state{.caches = {testsupport::makeArray({2, 2}, {1, 2, 3, 4}, platform::ml::DataType::float16)},
                       .vCaches = std::vector{testsupport::makeArray({2}, {5, 6})},
                       .positions = {testsupport::makeArray({1}, {7})}};
    const auto clone = cloneKVCacheState(state);
    EXPECT_NE(clone.caches[0], state.caches[0]);
    EXPECT_EQ(clone.caches[0]->dataType(), platform::ml::DataType::float16);
    EXPECT_EQ(testsupport::valuesOf(*clone.caches[0]), (std::vector<double>{1, 2, 3, 4}));
    EXPECT_EQ(testsupport::valuesOf(*(*clone.vCaches)[0]), (std::vector<double>{5, 6}));
    EXPECT_NE(clone.positions[0], state.positions[0]);
    EXPECT_EQ(cachePosition(clone), 7.0);
}

TEST(PocketTtsKVCache, SequenceBuildersHoldNaNsTheLatentOrTheStartEmbedding) {
    const auto nan = createNaNSequence();
    EXPECT_EQ(nan->shape(), (platform::ml::MultiArray::Shape{1, 1, 32}));
    EXPECT_EQ(std::bit_cast<std::uint32_t>(nan->data<float>()[31]), 0x7FC00000U);
    std::vector<float> latent(32);
    latent[31] = 3.0F;
    EXPECT_EQ(createSequenceFromLatent(latent)->value(31), 3.0);
    EXPECT_EQ(createBosEmbedding(latent)->shape(), (platform::ml::MultiArray::Shape{32}));
    EXPECT_EQ(errorText([] { createSequenceFromLatent(std::vector<float>(31)); }),
              "Processing failed: latent has 31 floats, expected 32");
}

// A flow-LM step model of four layers whose outputs the test chooses.
class PocketTtsFlowLMStepTest : public ::testing::Test {
protected:
    FlowLMStepResult step(KVCacheState& state, const PocketTtsLayerKeys& keys) {
        stepKeys = keys;
        return runFlowLMStep(createNaNSequence(), createBosEmbedding(std::vector<float>(32, 0.5F)), state, *model,
                             keys);
    }

    testsupport::TemporaryFolder scratch;
    PocketTtsLayerKeys stepKeys;
    std::optional<std::string> omitted;
    ScriptedKernel kernel{"kv-flowlm", [this](const ScriptedKernel::Call& call) {
                              auto outputs = pocketttscache::cacheOutputs(call, stepKeys, 1);
                              outputs.insert_or_assign(
                                  "transformer_out",
                                  testsupport::makeArray({1, 1, 1024}, std::vector<double>(1024, 0.25)));
                              outputs.insert_or_assign("eos_logit", testsupport::makeArray({1, 1, 1}, {-3.5}));
                              if (omitted) {
                                  outputs.erase(*omitted);
                              }
                              return outputs;
                          }};
    std::shared_ptr<platform::ml::Model> model =
        pocketttscache::loadModel(scratch.path(), "flowlm_step", pocketttscache::flowlmManifest("kv-flowlm"));
};

TEST_F(PocketTtsFlowLMStepTest, OnlyACombinedCacheModelIsGivenTheStartEmbedding) {
    auto combined = emptyKVCacheState(4, false);
    const auto result = step(combined, pocketttscache::layerKeys(4, false, true));
    EXPECT_EQ(result.eosLogit, -3.5F);
    EXPECT_EQ(result.transformerOut->count(), 1024U);
    EXPECT_EQ(cachePosition(combined), 1.0);
    auto split = emptyKVCacheState(4, true);
    step(split, pocketttscache::layerKeys(4, true, true));
    const auto calls = kernel.calls();
    EXPECT_TRUE(calls[0].inputs.contains("bos_emb"));
    EXPECT_TRUE(calls[0].inputs.contains("cache3"));
    EXPECT_FALSE(calls[1].inputs.contains("bos_emb"));
    EXPECT_TRUE(calls[1].inputs.contains("k_cache3"));
    EXPECT_TRUE(calls[1].inputs.contains("v_cache3"));
}

TEST_F(PocketTtsFlowLMStepTest, KeysWithoutTheEndOfSpeechLogitFailBeforeTheModelRuns) {
    auto keys = pocketttscache::layerKeys(4, false, true);
    keys.eosLogit.reset();
    auto state = emptyKVCacheState(4, false);
    EXPECT_EQ(errorText([&] { step(state, keys); }),
              "Processing failed: flowlm_step layer keys missing transformer/eos outputs");
    EXPECT_TRUE(kernel.calls().empty());
}

TEST_F(PocketTtsFlowLMStepTest, MissingValueCacheOfLayer3FailsAfterEarlierLayersAreReplaced) {
    omitted = "v_cache_out3";
    auto state = emptyKVCacheState(4, true);
    const auto before = state;
    EXPECT_EQ(errorText([&] { step(state, pocketttscache::layerKeys(4, true, true)); }),
              "Processing failed: Missing flowlm_step v-cache output: v_cache_out3");
    for (std::size_t layer = 0; layer < 4; ++layer) {
        EXPECT_NE(state.caches[layer], before.caches[layer]);
        EXPECT_EQ(state.positions[layer]->value(0), 1.0);
        EXPECT_EQ((*state.vCaches)[layer] != (*before.vCaches)[layer], layer < 3);
    }
}

TEST_F(PocketTtsFlowLMStepTest, MissingOutputsAreNamed) {
    const std::vector<std::pair<std::string, std::string>> cases{
        {"transformer_out", "Processing failed: Missing flowlm_step transformer output"},
        {"eos_logit", "Processing failed: Missing flowlm_step EOS logit"},
        {"position_out2", "Processing failed: Missing flowlm_step position output: position_out2"},
        {"cache_out0", "Processing failed: Missing flowlm_step cache output: cache_out0"},
    };
    for (const auto& [output, message] : cases) {
        omitted = output;
        auto state = emptyKVCacheState(4, false);
        EXPECT_EQ(errorText([&] { step(state, pocketttscache::layerKeys(4, false, true)); }), message);
    }
}

} // namespace
} // namespace quorl::PocketTtsSynthesizer
