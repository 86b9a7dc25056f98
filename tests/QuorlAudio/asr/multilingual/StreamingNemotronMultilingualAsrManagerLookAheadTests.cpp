#include "QuorlAudio/asr/multilingual/StreamingNemotronMultilingualAsrManager.hpp"

#include "MultilingualStreamScript.hpp"
#include "StreamingNemotronMultilingualAsrManagerProbe.hpp"
#include "platform/ml/StatefulModels.hpp"
#include "tests/support/MultiArrayValues.hpp"
#include "tests/support/RecordingLogSink.hpp"
#include "tests/support/ScopedEnvironment.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace quorl {
namespace {

using namespace multilingualstream;
using Probe = StreamingNemotronMultilingualAsrManagerProbe;
using Call = testsupport::ScriptedKernel::Call;
using testsupport::valuesOf;

// The inputs an encoder run was given, in a comparable form.
std::vector<std::vector<double>> encoderInputs(const Call& call) {
    std::vector<std::vector<double>> inputs;
    for (const char* name : {"mel", "mel_length", "cache_channel", "cache_time", "cache_len", "prompt_id"}) {
        inputs.push_back(call.inputs.contains(name) ? valuesOf(*call.inputs.at(name).multiArrayValue())
                                                    : std::vector<double>{});
    }
    return inputs;
}

// Encoder runs ahead of their chunk are the ones with default options: the stream's own back "encoded".
std::size_t aheadRuns(const std::vector<Call>& calls) {
    return static_cast<std::size_t>(std::count_if(
        calls.begin(), calls.end(), [](const Call& call) { return call.options.outputBackings.empty(); }));
}

class StreamingNemotronMultilingualAsrManagerLookAheadTest : public ::testing::Test {
protected:
    StreamingNemotronMultilingualAsrManagerLookAheadTest() {
        for (const char* name : {"QUORLAUDIO_ENABLE_SMART_SPECULATIVE", "QUORLAUDIO_DISABLE_TOKEN_PREALLOC",
                                 "QUORLAUDIO_DISABLE_TRIPLE_STAGE"}) {
            environment.set(name, std::nullopt);
        }
    }

    // Loads a stream whose encoder gives every output, processes the samples in one call and returns the
    // encoder runs it caused.
    std::vector<Call> encode(MultilingualTestVariant& variant, StreamingNemotronMultilingualAsrManager& manager,
                             const std::vector<float>& samples, MultilingualEncoderOutputs outputs = {}) {
        loadStream(manager, variant, tripleFusion(), outputs);
        const std::size_t before = encoderCalls(variant);
        manager.process(samples);
        const auto calls = variant.kernel(Model::encoder).calls();
        return {calls.begin() + static_cast<std::ptrdiff_t>(before), calls.end()};
    }

    testsupport::ScopedEnvironment environment;
};

TEST_F(StreamingNemotronMultilingualAsrManagerLookAheadTest, BufferedChunksAreEncodedAheadWithTheSameInputs) {
    const auto samples = noise(3 * chunkSamples);
    std::vector<std::vector<std::vector<double>>> inputs[2];
    for (const bool ahead : {true, false}) {
        SCOPED_TRACE(ahead ? "look-ahead" : "inline");
        environment.set("QUORLAUDIO_DISABLE_TRIPLE_STAGE", ahead ? std::nullopt : std::optional<std::string>(""));
        MultilingualTestVariant variant(smallMetadata());
        StreamingNemotronMultilingualAsrManager manager;
        const auto calls = encode(variant, manager, samples, {.frames = 14, .projected = false, .timeCache = true});
        ASSERT_EQ(calls.size(), 3u);
        EXPECT_EQ(aheadRuns(calls), ahead ? 2u : 0u);
        for (const auto& call : calls) {
            inputs[ahead].push_back(encoderInputs(call));
        }
        EXPECT_EQ(Probe::processedChunks(manager), 3);
        EXPECT_EQ(Probe::transcript(manager).absoluteFrameBase, 42);
        EXPECT_EQ(Probe::state(manager).prefetchedEncoded, nullptr);
    }
    EXPECT_EQ(inputs[true], inputs[false]);
}

TEST_F(StreamingNemotronMultilingualAsrManagerLookAheadTest, NothingIsTakenAheadThatCouldNotBeUsed) {
    {
        SCOPED_TRACE("an encoder without a time cache output");
        MultilingualTestVariant variant(smallMetadata());
        StreamingNemotronMultilingualAsrManager manager;
        const auto calls = encode(variant, manager, noise(3 * chunkSamples), {.frames = 14});
        EXPECT_EQ(calls.size(), 5u);
        EXPECT_EQ(aheadRuns(calls), 2u);
    }
    {
        SCOPED_TRACE("a quiet next chunk with the gate on");
        MultilingualTestVariant variant(smallMetadata());
        StreamingNemotronMultilingualAsrManager manager;
        auto samples = noise(3 * chunkSamples);
        std::fill_n(samples.begin() + chunkSamples, chunkSamples, 0.0F);
        loadStream(manager, variant, tripleFusion(), {.frames = 14, .projected = false, .timeCache = true});
        Probe::setGate(manager, {.rmsThreshold = 0.01F, .hangoverChunks = 2});
        const std::size_t before = encoderCalls(variant);
        manager.process(samples);
        const auto calls = variant.kernel(Model::encoder).calls();
        EXPECT_EQ(calls.size() - before, 3u);
        EXPECT_EQ(aheadRuns({calls.begin() + static_cast<std::ptrdiff_t>(before), calls.end()}), 1u);
        EXPECT_EQ(Probe::processedChunks(manager), 3);
    }
    if (platform::ml::statefulModelsSupported()) {
        SCOPED_TRACE("a stateful encoder");
        MultilingualTestVariant variant(smallMetadata());
        variant.addStatefulEncoder({.frames = 14, .projected = false, .timeCache = true});
        variant.add(Model::decoderJointArgmax);
        StreamingNemotronMultilingualAsrManager manager;
        manager.loadModels(variant.folder());
        const std::size_t before = encoderCalls(variant);
        manager.process(noise(3 * chunkSamples));
        EXPECT_EQ(encoderCalls(variant) - before, 3u);
        const auto calls = variant.kernel(Model::encoder).calls();
        EXPECT_EQ(aheadRuns({calls.begin() + static_cast<std::ptrdiff_t>(before), calls.end()}), 0u);
    }
}

TEST_F(StreamingNemotronMultilingualAsrManagerLookAheadTest, AFailedLookAheadLeavesTheDecodedChunkStanding) {
    testsupport::RecordingLogSink log;
    MultilingualTestVariant variant(smallMetadata());
    StreamingNemotronMultilingualAsrManager manager;
    loadStream(manager, variant, tripleFusion(), {.frames = 14, .projected = false, .timeCache = true});
    const std::size_t first = encoderCalls(variant);
    variant.emit(Model::encoder, [first](const Call& call) -> std::int64_t {
        if (call.index == first + 1) {
            throw std::runtime_error("encoder gave out");
        }
        return 0;
    });
    variant.emit(Model::decoderJointArgmax, [](const Call& call) -> std::int64_t {
        const auto fed = static_cast<std::int64_t>(call.inputs.at("token").multiArrayValue()->value(0));
        return frameOf(call) == 0 && fed == blank ? 0 : blank;
    });

    manager.process(noise(2 * chunkSamples));

    EXPECT_EQ(Probe::processedChunks(manager), 2);
    EXPECT_EQ(Probe::transcript(manager).absoluteFrameBase, 28);
    EXPECT_EQ(Probe::transcript(manager).tokenIds, std::vector<std::int64_t>{0});
    const auto calls = variant.kernel(Model::encoder).calls();
    ASSERT_EQ(calls.size(), first + 3);
    EXPECT_FALSE(calls[first + 2].options.outputBackings.empty());
    EXPECT_EQ(log.messages("NemotronMultilingualStreaming", platform::sys::LogType::error),
              std::vector<std::string>{"Look-ahead encoding failed: encoder gave out"});
}

} // namespace
} // namespace quorl
