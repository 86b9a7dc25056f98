#include "QuorlAudio/asr/multilingual/StreamingNemotronMultilingualAsrManager.hpp"

#include "MultilingualStreamScript.hpp"
#include "StreamingNemotronMultilingualAsrManagerProbe.hpp"
#include "platform/ml/StatefulModels.hpp"
#include "tests/support/ErrorText.hpp"
#include "tests/support/MultiArrayValues.hpp"
#include "tests/support/ScopedEnvironment.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace quorl {
namespace {

using namespace multilingualstream;
using Probe = StreamingNemotronMultilingualAsrManagerProbe;
using Call = testsupport::ScriptedKernel::Call;
using platform::ml::MultiArray;
using testsupport::valuesOf;

constexpr std::size_t fullChunk = 17920;

// The built-in mel geometry (128 features, 112-frame chunks, 121 encoder columns, 9 cached) with small caches.
nlohmann::json defaultMelMetadata() {
    return {
        {"cache_channel_shape", {1, 1, 2, 2}},
        {"cache_time_shape", {1, 1, 2, 2}},
        {"vocab_size", 5},
        {"encoder_dim", 4},
        {"decoder_hidden", 8},
        {"lang_tag_token_ids", {2, 3, 4}},
    };
}

std::shared_ptr<MultiArray> input(const Call& call, const std::string& name) {
    return call.inputs.at(name).multiArrayValue();
}

// Columns of feature row `feature` of a [1, F, frames] array.
std::vector<double> melRow(const MultiArray& mel, std::size_t feature, std::size_t first, std::size_t count) {
    std::vector<double> values;
    for (std::size_t frame = first; frame < first + count; ++frame) {
        values.push_back(mel.value(feature * mel.shape()[2] + frame));
    }
    return values;
}

class StreamingNemotronMultilingualAsrManagerChunkTest : public ::testing::Test {
protected:
    StreamingNemotronMultilingualAsrManagerChunkTest() {
        for (const char* name : {"QUORLAUDIO_ENABLE_SMART_SPECULATIVE", "QUORLAUDIO_DISABLE_TOKEN_PREALLOC"}) {
            environment.set(name, std::nullopt);
        }
        // Plans count chunks by encoder runs, which the look-ahead would bring forward.
        environment.set("QUORLAUDIO_DISABLE_TRIPLE_STAGE", "");
    }

    testsupport::ScopedEnvironment environment;
    StreamingNemotronMultilingualAsrManager manager;
};

TEST_F(StreamingNemotronMultilingualAsrManagerChunkTest, TheEncoderSeesTheCarriedMelFramesThePromptAndTheCaches) {
    MultilingualTestVariant variant(defaultMelMetadata());
    loadStream(manager, variant, tripleFusion());
    const auto samples = noise(2 * fullChunk);
    const auto firstMel = NemotronMelExtractor::make(128).melSpectrogram(std::span(samples).first(fullChunk));
    ASSERT_EQ(firstMel->shape(), (MultiArray::Shape{1, 128, 113}));
    const auto timeCache = Probe::state(manager).cacheTime;

    manager.process(std::span(samples).first(fullChunk));
    const auto channelAfterFirst = Probe::state(manager).cacheChannel;
    manager.setLanguage("de");
    manager.process(std::span(samples).subspan(fullChunk));

    const auto calls = variant.kernel(Model::encoder).calls();
    ASSERT_EQ(calls.size(), 3u);
    const auto& first = calls[1];
    const auto& second = calls[2];
    EXPECT_EQ(input(first, "mel")->shape(), (MultiArray::Shape{1, 128, 121}));
    for (const std::size_t feature : {0, 77, 127}) {
        EXPECT_EQ(melRow(*input(first, "mel"), feature, 0, 9), std::vector<double>(9, 0.0));
        EXPECT_EQ(melRow(*input(first, "mel"), feature, 9, 112), melRow(*firstMel, feature, 0, 112));
        EXPECT_EQ(melRow(*input(second, "mel"), feature, 0, 9), melRow(*firstMel, feature, 104, 9));
    }
    EXPECT_EQ(valuesOf(*input(first, "mel_length")), std::vector<double>{121});
    EXPECT_EQ(valuesOf(*input(first, "prompt_id")), std::vector<double>{101});
    EXPECT_EQ(valuesOf(*input(second, "prompt_id")), std::vector<double>{101});
    EXPECT_EQ(valuesOf(*input(first, "cache_len")), std::vector<double>{1});
    EXPECT_EQ(valuesOf(*input(second, "cache_len")), std::vector<double>{0});
    EXPECT_TRUE(first.inputs.contains("cache_channel") && first.inputs.contains("cache_time"));
    EXPECT_EQ(first.state, nullptr);
    EXPECT_NE(channelAfterFirst, Probe::state(manager).cacheChannel);
    EXPECT_EQ(timeCache, Probe::state(manager).cacheTime);
    EXPECT_EQ(Probe::state(manager).melCache->shape(), (MultiArray::Shape{1, 128, 9}));
    EXPECT_EQ(Probe::transcript(manager).absoluteFrameBase, 28);
}

TEST_F(StreamingNemotronMultilingualAsrManagerChunkTest, AStatefulEncoderGetsItsStateInsteadOfTheCaches) {
    if (!platform::ml::statefulModelsSupported()) {
        GTEST_SKIP() << "stateful models are not supported here";
    }
    MultilingualTestVariant variant(smallMetadata());
    variant.addStatefulEncoder({.frames = 14});
    variant.add(Model::decoderJointArgmax);
    manager.loadModels(variant.folder());

    manager.process(noise(chunkSamples));

    const auto call = variant.kernel(Model::encoder).calls().back();
    EXPECT_NE(call.state, nullptr);
    EXPECT_FALSE(call.inputs.contains("cache_channel") || call.inputs.contains("cache_time"));
    EXPECT_TRUE(call.inputs.contains("cache_len"));
}

TEST_F(StreamingNemotronMultilingualAsrManagerChunkTest, TheGateSkipsQuietChunksOnceTheHangoverIsOver) {
    MultilingualTestVariant variant(defaultMelMetadata());
    loadStream(manager, variant, tripleFusion());
    Probe::setGate(manager, {.rmsThreshold = 0.01F, .hangoverChunks = 2});
    const std::size_t before = encoderCalls(variant);

    manager.process(std::vector<float>(3 * fullChunk, 0.0F));
    manager.process(noise(fullChunk));

    const auto statistics = manager.statistics();
    EXPECT_EQ(statistics.chunkCount, 4);
    EXPECT_EQ(statistics.vadSkipCount, 2);
    EXPECT_EQ(Probe::processedChunks(manager), 2);
    EXPECT_EQ(encoderCalls(variant), before + 2);
    EXPECT_EQ(Probe::transcript(manager).absoluteFrameBase, 4 * 14);
}

TEST_F(StreamingNemotronMultilingualAsrManagerChunkTest, AFrameEndsAfterTenSymbolsWithTheTenthAsTheToken) {
    MultilingualTestVariant variant(smallMetadata());
    loadStream(manager, variant, tripleFusion());
    variant.emit(Model::decoderJointArgmax, [](const Call& call) { return frameOf(call) == 0 ? 0 : blank; });
    const std::size_t before = variant.kernel(Model::decoderJointArgmax).calls().size();

    manager.process(noise(chunkSamples));

    const auto calls = variant.kernel(Model::decoderJointArgmax).calls();
    EXPECT_EQ(calls.size() - before, 10u + 13u);
    EXPECT_EQ(frameOf(calls[before + 10]), 1u);
    EXPECT_EQ(Probe::transcript(manager).tokenIds, std::vector<std::int64_t>(10, 0));
    const auto& state = Probe::state(manager);
    EXPECT_EQ(state.lastToken, 0);
    EXPECT_EQ(valuesOf(*state.hState)[0], static_cast<double>(before + 10));
    EXPECT_EQ(valuesOf(*input(calls.back(), "h_in"))[0], static_cast<double>(before + 10));
}

TEST_F(StreamingNemotronMultilingualAsrManagerChunkTest, ALanguageTagIsFedBackWithoutATimingAndNamesTheLanguageOnce) {
    MultilingualTestVariant variant(smallMetadata());
    loadStream(manager, variant, tripleFusion());
    emitPlan(variant, Model::decoderJointArgmax, {{{0, 2}, {3, 4, 0}}});

    manager.process(noise(chunkSamples));

    const auto& transcript = Probe::transcript(manager);
    EXPECT_EQ(transcript.tokenIds, (std::vector<std::int64_t>{3, 4, 0}));
    ASSERT_EQ(transcript.tokenTimings.size(), 1u);
    EXPECT_DOUBLE_EQ(transcript.tokenTimings[0].startTime, 0.16);
    EXPECT_EQ(manager.detectedLanguage(), "de");
    const auto calls = variant.kernel(Model::decoderJointArgmax).calls();
    EXPECT_EQ(valuesOf(*input(calls[calls.size() - 13], "token")), std::vector<double>{4});
}

TEST_F(StreamingNemotronMultilingualAsrManagerChunkTest, TiesGoToTheLowerIdAndScoresAreReadThroughTypeAndStrides) {
    EXPECT_EQ(NemotronMultilingualGreedyDecoder::findMaxIndex(*testsupport::makeArray({1, 4}, {0, 2, 2, 1})), 1u);
    std::vector<_Float16> halves{_Float16(0.5F), _Float16(3.0F), _Float16(-1.0F)};
    const MultiArray half(halves.data(), {3}, platform::ml::DataType::float16, {1}, [](void*) {});
    EXPECT_EQ(NemotronMultilingualGreedyDecoder::findMaxIndex(half), 1u);
    std::vector<float> padded{0.1F, 99.0F, 0.7F, 99.0F, 0.3F, 99.0F};
    const MultiArray strided(padded.data(), {1, 3}, platform::ml::DataType::float32, {6, 2}, [](void*) {});
    EXPECT_EQ(NemotronMultilingualGreedyDecoder::findMaxIndex(strided), 1u);
}

TEST_F(StreamingNemotronMultilingualAsrManagerChunkTest, EachPathNamesItsFailure) {
    struct Case {
        const char* name;
        std::vector<Model> models;
        bool projected;
        std::optional<std::pair<Model, std::string>> omitted;
        std::int64_t token;
        std::string message;
    };
    const Case cases[] = {
        {"B3+B1 without h_out",
         {Model::decoderJointNoEncProj},
         true,
         {{Model::decoderJointNoEncProj, "h_out"}},
         0,
         "B3+B1 fused decoder_joint_noencproj failed"},
        {"triple-fusion without c_out",
         {Model::decoderJointArgmax},
         false,
         {{Model::decoderJointArgmax, "c_out"}},
         0,
         "Triple-fused decoder_joint_argmax failed"},
        {"triple-fusion beyond the vocabulary",
         {Model::decoderJointArgmax},
         false,
         std::nullopt,
         6,
         "Triple-fused decoder_joint_argmax failed"},
        {"triple-fusion below zero",
         {Model::decoderJointArgmax},
         false,
         std::nullopt,
         -1,
         "Triple-fused decoder_joint_argmax failed"},
        {"merged without logits",
         {Model::decoderJoint},
         false,
         {{Model::decoderJoint, "logits"}},
         0,
         "Fused decoder_joint failed"},
        {"bare without decoder_out",
         {Model::decoder, Model::joint},
         false,
         {{Model::decoder, "decoder_out"}},
         0,
         "Decoder failed"},
        {"bare without logits", {Model::decoder, Model::joint}, false, {{Model::joint, "logits"}}, 0, "Joint failed"},
        {"projected path without projected frames",
         {Model::decoderJointNoEncProj},
         false,
         std::nullopt,
         0,
         "No decode path: need a fused decoder_joint (B1/B3/B2) or bare decoder+joint"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MultilingualTestVariant variant(smallMetadata());
        if (c.omitted) {
            variant.omitOutput(c.omitted->first, c.omitted->second);
        }
        StreamingNemotronMultilingualAsrManager caseManager;
        loadStream(caseManager, variant, {c.name, c.models, c.projected, c.models.back()}, {.frames = 2});
        variant.emit(c.models.back(), [token = c.token](const Call&) { return token; });

        EXPECT_EQ(testsupport::errorText([&] { caseManager.process(noise(chunkSamples)); }),
                  "ASR processing failed: " + c.message);
        EXPECT_EQ(Probe::processedChunks(caseManager), 0);
        EXPECT_EQ(Probe::audioBuffer(caseManager).pending(), chunkSamples);
    }
}

// Frame 0 emits "hello", frame 1 "world"; the first "world" step fails once.
void emitHelloWorldFailingOnce(MultilingualTestVariant& variant) {
    auto failed = std::make_shared<bool>(false);
    variant.emit(Model::decoderJointArgmax, [failed](const Call& call) -> std::int64_t {
        const auto token = static_cast<std::int64_t>(call.inputs.at("token").multiArrayValue()->value(0));
        if (frameOf(call) == 0 && token == blank) {
            return 0;
        }
        if (frameOf(call) == 1 && token == 0) {
            if (!*failed) {
                *failed = true;
                throw std::runtime_error("decoder gave out");
            }
            return 1;
        }
        return blank;
    });
}

TEST_F(StreamingNemotronMultilingualAsrManagerChunkTest, AFailedChunkIsDecodedExactlyOnceWhenCutAgain) {
    MultilingualTestVariant variant(smallMetadata());
    loadStream(manager, variant, tripleFusion(), {.frames = 2});
    manager.process(noise(chunkSamples));
    emitHelloWorldFailingOnce(variant);
    const auto before = Probe::state(manager);
    const std::size_t encoderBefore = encoderCalls(variant);

    EXPECT_EQ(testsupport::errorText([&] { manager.process(noise(chunkSamples)); }), "decoder gave out");

    const auto& after = Probe::state(manager);
    EXPECT_TRUE(Probe::transcript(manager).tokenIds.empty());
    EXPECT_EQ(after.cacheChannel, before.cacheChannel);
    EXPECT_EQ(after.cacheLen, before.cacheLen);
    EXPECT_EQ(after.melCache, before.melCache);
    EXPECT_EQ(after.hState, before.hState);
    manager.process(std::vector<float>{});
    EXPECT_EQ(manager.finish(), "hello world");
    const auto calls = variant.kernel(Model::encoder).calls();
    ASSERT_EQ(calls.size(), encoderBefore + 2);
    EXPECT_EQ(valuesOf(*input(calls[encoderBefore], "mel")), valuesOf(*input(calls[encoderBefore + 1], "mel")));
}

TEST_F(StreamingNemotronMultilingualAsrManagerChunkTest, AStatefulEncoderKeepsTheFailedChunksEncodingForTheRetry) {
    if (!platform::ml::statefulModelsSupported()) {
        GTEST_SKIP() << "stateful models are not supported here";
    }
    MultilingualTestVariant variant(smallMetadata());
    variant.addStatefulEncoder({.frames = 2});
    variant.add(Model::decoderJointArgmax);
    manager.loadModels(variant.folder());
    emitHelloWorldFailingOnce(variant);
    const std::size_t encoderBefore = encoderCalls(variant);

    EXPECT_THROW(manager.process(noise(chunkSamples)), std::runtime_error);
    manager.process(std::vector<float>{});

    EXPECT_EQ(encoderCalls(variant), encoderBefore + 1);
    EXPECT_EQ(Probe::transcript(manager).tokenIds, (std::vector<std::int64_t>{0, 1}));
    EXPECT_EQ(Probe::transcript(manager).tokenTimings.size(), 2u);
}

} // namespace
} // namespace quorl
