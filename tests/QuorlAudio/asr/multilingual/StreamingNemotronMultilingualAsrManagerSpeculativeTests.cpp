#include "QuorlAudio/asr/multilingual/StreamingNemotronMultilingualAsrManager.hpp"

#include "MultilingualStreamScript.hpp"
#include "QuorlAudio/asr/multilingual/NemotronMultilingualSpeculativeDecoder.hpp"
#include "StreamingNemotronMultilingualAsrManagerProbe.hpp"
#include "tests/support/ErrorText.hpp"
#include "tests/support/MultiArrayValues.hpp"
#include "tests/support/ScopedEnvironment.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <exception>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace quorl {
namespace {

using namespace multilingualstream;
using Probe = StreamingNemotronMultilingualAsrManagerProbe;
using Call = testsupport::ScriptedKernel::Call;
using platform::ml::DataType;
using platform::ml::MultiArray;
using testsupport::valuesOf;

constexpr std::size_t projectedWidth = 640;
using Oracle = std::map<std::size_t, std::vector<std::int64_t>>;

// The decision at a frame given the token the decoder was fed: the frame's tokens in order, then the blank.
std::int64_t decide(const Oracle& oracle, std::size_t frame, std::int64_t fed) {
    const auto planned = oracle.find(frame);
    if (planned == oracle.end()) {
        return blank;
    }
    const auto& tokens = planned->second;
    const auto at = std::find(tokens.begin(), tokens.end(), fed);
    if (at == tokens.end()) {
        return tokens.front();
    }
    return at + 1 == tokens.end() ? blank : *(at + 1);
}

std::size_t rowFrame(const Call& call, std::size_t row) {
    return static_cast<std::size_t>(call.inputs.at("encoder_proj").multiArrayValue()->value(row * projectedWidth) /
                                    100);
}

// Per-frame and speculative models that agree frame by frame: the fused model fed projected frames for the
// per-frame route and the drain, the bare decoder and the batched joint (K = 8) for the windows.
struct SpeculativeStream {
    explicit SpeculativeStream(Oracle oracle, std::size_t frames = 14) {
        variant.addEncoder({.frames = frames, .projected = true, .timeCache = true});
        variant.add(Model::decoder);
        variant.add(Model::decoderJointNoEncProj);
        variant.addBatchedJoint({1, 8, projectedWidth});
        manager.loadModels(variant.folder());
        Probe::setGate(manager, {.rmsThreshold = 0, .hangoverChunks = 2});
        variant.emit(Model::decoderJointNoEncProj, [oracle](const Call& call) {
            return decide(oracle, frameOf(call),
                          static_cast<std::int64_t>(call.inputs.at("token").multiArrayValue()->value(0)));
        });
        variant.emitRows([oracle](const Call& call, std::size_t row) {
            return decide(oracle, rowFrame(call, row),
                          static_cast<std::int64_t>(call.inputs.at("decoder").multiArrayValue()->value(0)));
        });
    }

    std::size_t calls(Model model) { return variant.kernel(model).calls().size(); }

    MultilingualTestVariant variant{smallMetadata()};
    StreamingNemotronMultilingualAsrManager manager;
};

class StreamingNemotronMultilingualAsrManagerSpeculativeTest : public ::testing::Test {
protected:
    StreamingNemotronMultilingualAsrManagerSpeculativeTest() {
        for (const char* name : {"QUORLAUDIO_ENABLE_SMART_SPECULATIVE", "QUORLAUDIO_DISABLE_TOKEN_PREALLOC",
                                 "QUORLAUDIO_DISABLE_TRIPLE_STAGE"}) {
            environment.set(name, std::nullopt);
        }
    }

    testsupport::ScopedEnvironment environment;
};

TEST_F(StreamingNemotronMultilingualAsrManagerSpeculativeTest, BothRoutesGiveTheSameTranscriptWithFewerPredictions) {
    const Oracle oracle{{2, {3, 0}}, {9, {1}}, {10, std::vector<std::int64_t>(12, 0)}};
    std::map<bool, std::vector<std::int64_t>> ids;
    std::map<bool, std::vector<TokenTiming>> timings;
    std::map<bool, std::size_t> decoderPredictions;
    for (const bool speculative : {false, true}) {
        SCOPED_TRACE(speculative ? "speculative" : "per frame");
        environment.set("QUORLAUDIO_ENABLE_SMART_SPECULATIVE", speculative ? std::nullopt : std::optional("no"));
        SpeculativeStream stream(oracle);
        const std::size_t batched = stream.calls(Model::jointNoEncProjBatched);
        const std::size_t decoder = stream.calls(Model::decoder);
        const std::size_t fused = stream.calls(Model::decoderJointNoEncProj);

        stream.manager.process(noise(chunkSamples));

        const auto& transcript = Probe::transcript(stream.manager);
        ids[speculative] = transcript.tokenIds;
        timings[speculative] = transcript.tokenTimings;
        EXPECT_EQ(stream.manager.detectedLanguage(), "de");
        decoderPredictions[speculative] =
            stream.calls(Model::decoder) - decoder + stream.calls(Model::decoderJointNoEncProj) - fused;
        const auto statistics = stream.manager.statistics();
        EXPECT_EQ(stream.calls(Model::jointNoEncProjBatched) - batched,
                  static_cast<std::size_t>(statistics.specWindowsTotal));
        EXPECT_EQ(statistics.specWindowsTotal, statistics.specWindowsAllBlank + statistics.specWindowsHitNonBlank);
        // Windows from frames 0 (hit at 2), 3 (hit at 9), 10 (hit at 10), 11 (all blank to 13).
        EXPECT_EQ(statistics.specWindowsHitNonBlank, speculative ? 3 : 0);
        EXPECT_EQ(statistics.specWindowsAllBlank, speculative ? 1 : 0);
    }
    std::vector<std::int64_t> expected{3, 0, 1};
    expected.insert(expected.end(), 10, 0);
    EXPECT_EQ(ids[true], expected);
    EXPECT_EQ(ids[true], ids[false]);
    EXPECT_EQ(timings[true], timings[false]);
    EXPECT_LT(decoderPredictions[true], decoderPredictions[false]);
}

TEST_F(StreamingNemotronMultilingualAsrManagerSpeculativeTest, TheSwitchTurnsTheRouteOffOnlyForNoFalseAndZero) {
    const std::pair<std::optional<std::string>, bool> cases[] = {
        {"No", false}, {"FALSE", false}, {"0", false}, {"off", true}, {"1", true}, {"", true}, {std::nullopt, true},
    };
    for (const auto& [value, on] : cases) {
        SCOPED_TRACE(value.value_or("(unset)"));
        environment.set("QUORLAUDIO_ENABLE_SMART_SPECULATIVE", value);
        SpeculativeStream stream({});
        stream.manager.process(noise(chunkSamples));
        EXPECT_EQ(stream.manager.statistics().specWindowsTotal, on ? 2 : 0);
    }
}

TEST_F(StreamingNemotronMultilingualAsrManagerSpeculativeTest, WindowsCoverTheChunkAndRestartAfterTheHit) {
    struct Case {
        const char* name;
        std::size_t frames;
        Oracle oracle;
        std::vector<std::size_t> windowStarts;
        std::vector<std::size_t> windowLengths;
    };
    const Case cases[] = {
        {"five frames: one short window", 5, {}, {0}, {5}},
        {"two windows of blanks", 16, {}, {0, 8}, {8, 8}},
        {"a hit at row 3 restarts at frame 4", 12, {{3, {0}}}, {0, 4}, {8, 8}},
        {"a hit on the last frame", 5, {{4, {1}}}, {0}, {5}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SpeculativeStream stream(c.oracle, c.frames);
        const std::size_t before = stream.calls(Model::jointNoEncProjBatched);
        const std::size_t decoderBefore = stream.calls(Model::decoder);

        stream.manager.process(noise(chunkSamples));

        const auto calls = stream.variant.kernel(Model::jointNoEncProjBatched).calls();
        ASSERT_EQ(calls.size() - before, c.windowStarts.size());
        for (std::size_t window = 0; window < c.windowStarts.size(); ++window) {
            const auto batch = valuesOf(*calls[before + window].inputs.at("encoder_proj").multiArrayValue());
            EXPECT_EQ(rowFrame(calls[before + window], 0), c.windowStarts[window]);
            const std::size_t filled = std::min(c.windowLengths[window], c.frames - c.windowStarts[window]);
            EXPECT_TRUE(std::all_of(batch.begin() + static_cast<std::ptrdiff_t>(filled * projectedWidth), batch.end(),
                                    [](double value) { return value == 0; }));
        }
        const auto decoder = stream.variant.kernel(Model::decoder).calls();
        ASSERT_EQ(decoder.size() - decoderBefore, c.windowStarts.size());
        if (c.oracle.empty() && c.windowStarts.size() == 2) {
            EXPECT_EQ(valuesOf(*decoder[decoderBefore].inputs.at("h_in").multiArrayValue()),
                      valuesOf(*decoder[decoderBefore + 1].inputs.at("h_in").multiArrayValue()));
            EXPECT_EQ(stream.manager.statistics().specWindowsAllBlank, 2);
        }
    }
}

TEST_F(StreamingNemotronMultilingualAsrManagerSpeculativeTest, RowsAreReadThroughTypeAndStrides) {
    using Decoder = NemotronMultilingualSpeculativeDecoder;
    // Projection [1, 2, 640] stored channel-major, in both precisions.
    std::vector<float> floats(2 * projectedWidth);
    std::vector<_Float16> halves(2 * projectedWidth);
    for (std::size_t i = 0; i < floats.size(); ++i) {
        floats[i] = static_cast<float>(i % 7) * 0.5F;
        halves[i] = static_cast<_Float16>(floats[i]);
    }
    const MultiArray single(floats.data(), {1, 2, projectedWidth}, DataType::float32, {0, 1, 2}, [](void*) {});
    const MultiArray half(halves.data(), {1, 2, projectedWidth}, DataType::float16, {0, 1, 2}, [](void*) {});
    MultiArray fromSingle({1, 3, projectedWidth}, DataType::float32);
    MultiArray fromHalf({1, 3, projectedWidth}, DataType::float32);
    fromHalf.setValue(2 * projectedWidth, 9);
    Decoder::fillBatch(fromSingle, single, 1, 1);
    Decoder::fillBatch(fromHalf, half, 1, 1);
    EXPECT_EQ(valuesOf(fromHalf), valuesOf(fromSingle));
    EXPECT_EQ(fromSingle.value(5), floats[1 + 2 * 5]);
    EXPECT_EQ(fromHalf.value(2 * projectedWidth), 0);

    const float lowest = std::numeric_limits<float>::lowest();
    std::vector<_Float16> silent(4, static_cast<_Float16>(-std::numeric_limits<float>::infinity()));
    const MultiArray silentRow(silent.data(), {1, 1, 1, 4}, DataType::float16, {4, 4, 4, 1}, [](void*) {});
    EXPECT_EQ(Decoder::bestToken(silentRow, 0, blank), blank);
    std::vector<float> padded{0.1F, lowest, 0.7F, lowest, 0.7F, lowest, 0.2F, 0.9F, 0.0F, 0.0F, 0.3F, 0.0F};
    const MultiArray strided(padded.data(), {1, 2, 1, 3}, DataType::float32, {12, 6, 6, 2}, [](void*) {});
    EXPECT_EQ(Decoder::bestToken(strided, 0, blank), 1);
    EXPECT_EQ(Decoder::bestToken(strided, 1, blank), 2);
    std::vector<float> equal(3, 0.25F);
    const MultiArray ties(equal.data(), {1, 1, 1, 3}, DataType::float32, {3, 3, 3, 1}, [](void*) {});
    EXPECT_EQ(Decoder::bestToken(ties, 0, blank), 0);
}

TEST_F(StreamingNemotronMultilingualAsrManagerSpeculativeTest, ANewWindowSizeReplacesTheBatchBuffer) {
    SpeculativeStream stream({});
    auto& models = Probe::mutableModels(stream.manager);
    stream.manager.process(noise(chunkSamples));
    const auto first = Probe::encProjBatch(stream.manager);
    stream.manager.process(noise(chunkSamples));
    EXPECT_EQ(Probe::encProjBatch(stream.manager), first);
    models.jointNoEncProjBatchedK = 4;
    // The scripted joint is declared for windows of 8, so the runtime refuses the narrower batch.
    EXPECT_THROW(stream.manager.process(noise(chunkSamples)), std::exception);
    EXPECT_EQ(Probe::encProjBatch(stream.manager)->shape(), (MultiArray::Shape{1, 4, projectedWidth}));
}

TEST_F(StreamingNemotronMultilingualAsrManagerSpeculativeTest, EachSpeculativeFailureIsNamed) {
    struct Case {
        const char* name;
        std::optional<std::pair<Model, std::string>> omitted;
        std::vector<Model> drainModels;
        std::string message;
    };
    const Case cases[] = {
        {"decoder without c_out",
         {{Model::decoder, "c_out"}},
         {Model::decoderJointNoEncProj},
         "Speculative decoder failed"},
        {"batched joint without logits",
         {{Model::jointNoEncProjBatched, "logits"}},
         {Model::decoderJointNoEncProj},
         "Speculative joint_noencproj_batched failed"},
        {"B3+B1 drain",
         {{Model::decoderJointNoEncProj, "h_out"}},
         {Model::decoderJointNoEncProj},
         "Drain B3+B1 failed"},
        {"B2 drain", {{Model::decoderJointArgmax, "token_id"}}, {Model::decoderJointArgmax}, "Drain B2 failed"},
        {"B1 drain", {{Model::decoderJoint, "c_out"}}, {Model::decoderJoint}, "Drain B1 failed"},
        {"bare joint drain", {{Model::joint, "logits"}}, {Model::joint}, "Drain joint failed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MultilingualTestVariant variant(smallMetadata());
        if (c.omitted) {
            variant.omitOutput(c.omitted->first, c.omitted->second);
        }
        variant.addEncoder({.frames = 3, .projected = true, .timeCache = true});
        variant.add(Model::decoder);
        for (const Model model : c.drainModels) {
            variant.add(model);
        }
        variant.addBatchedJoint({1, 8, projectedWidth});
        StreamingNemotronMultilingualAsrManager manager;
        manager.loadModels(variant.folder());
        variant.emitRows([](const Call&, std::size_t row) { return row == 1 ? 0 : blank; });

        EXPECT_EQ(testsupport::errorText([&] { manager.process(noise(chunkSamples)); }),
                  "ASR processing failed: " + c.message);
        EXPECT_EQ(Probe::processedChunks(manager), 0);
    }
}

TEST_F(StreamingNemotronMultilingualAsrManagerSpeculativeTest, AProjectionOfAnotherWidthFailsTheChunk) {
    MultilingualTestVariant variant(smallMetadata());
    variant.addEncoder({.frames = 3, .projected = true, .timeCache = true});
    variant.add(Model::decoder);
    variant.add(Model::decoderJoint);
    variant.addBatchedJoint({1, 8, projectedWidth});
    StreamingNemotronMultilingualAsrManager manager;
    manager.loadModels(variant.folder());
    auto narrow = std::make_shared<MultiArray>(MultiArray::Shape{1, 3, 320}, DataType::float32);
    auto& state = Probe::mutableState(manager);
    state.prefetchedEncoded = std::make_shared<MultiArray>(MultiArray::Shape{1, 4, 3}, DataType::float32);
    state.prefetchedEncoderProj = narrow;

    EXPECT_EQ(testsupport::errorText([&] { manager.process(noise(chunkSamples)); }),
              "ASR processing failed: Speculative encoder_proj is not [1, frames, 640]");
}

} // namespace
} // namespace quorl
