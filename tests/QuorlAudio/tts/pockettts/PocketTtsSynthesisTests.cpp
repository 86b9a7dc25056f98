#include "QuorlAudio/tts/pockettts/PocketTtsSynthesis.hpp"

#include "QuorlAudio/foundation/AudioWAV.hpp"
#include "QuorlAudio/tts/frontend/AudioPostProcessor.hpp"
#include "QuorlAudio/tts/pockettts/PocketTTSError.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsModelStore.hpp"
#include "platform/core/CancellationToken.hpp"
#include "platform/core/Task.hpp"
#include "tests/QuorlAudio/tts/pockettts/PocketTtsScriptedPack.hpp"
#include "tests/support/ErrorText.hpp"
#include "tests/support/MultiArrayValues.hpp"
#include "tests/support/ScriptedKernel.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <future>
#include <thread>
#include <vector>

namespace quorl::PocketTtsSynthesizer {
namespace {

using platform::sys::LogType;
using testsupport::errorText;
using testsupport::ScriptedKernel;

class PocketTtsSynthesisTest : public PocketTtsScriptedPackTest {
protected:
    std::vector<AudioFrame> frames(const SynthesisRequest& request) {
        std::vector<AudioFrame> all;
        for (auto& frame : synthesizeStreaming(request, trackedVoice())) {
            all.push_back(std::move(frame));
        }
        return all;
    }

    std::vector<std::int64_t> frameIndices(const std::vector<AudioFrame>& all, std::int64_t chunk) const {
        std::vector<std::int64_t> indices;
        for (const auto& frame : all) {
            if (frame.chunkIndex == chunk) {
                indices.push_back(frame.frameIndex);
            }
        }
        return indices;
    }

    std::vector<std::string> lines(LogType type = LogType::info) const {
        return PocketTtsScriptedPackTest::lines("PocketTtsSynthesizer", type);
    }
};

// "-4.0" itself does not end speech; the first logit above it does, and the chunk keeps 1 + 2 frames more.
TEST_F(PocketTtsSynthesisTest, ChunkEndsTwoFramesAfterItsEndOfSpeechAllowance) {
    logit = [](std::size_t step) { return step == 4 ? -4.0 : (step >= 10 ? -3.9 : -10.0); };
    const auto all = frames({.text = "One two three four five six.", .seed = 1});
    EXPECT_EQ(frameIndices(all, 0), (std::vector<std::int64_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
    EXPECT_EQ(all.front().chunkCount, 1);
    EXPECT_FALSE(all.front().utteranceIndex);
    EXPECT_EQ(all.front().samples.size(), 1920U);
    EXPECT_EQ(flowlm.calls().size(), 14U);
    EXPECT_EQ(mimiDecoder.calls().size(), 13U);
    const auto info = lines();
    EXPECT_NE(std::ranges::find(info, "Stream chunk 1 EOS at step 10"), info.end());
    EXPECT_NE(std::ranges::find(info, "Stream chunk 1/1: 'One two three four five six.'"), info.end());
}

// Each chunk starts a fresh cache from the voice; the codec's state runs on from the chunk before.
TEST_F(PocketTtsSynthesisTest, ChunkThatNeverEndsYieldsItsBudgetAndOnlyTheCodecStateCarriesOver) {
    const auto all = frames({.text = "Hi. Yo.", .seed = 1, .maxTokensPerChunk = 5});
    ASSERT_EQ(all.size(), 74U);
    EXPECT_EQ(frameIndices(all, 0).size(), 37U);
    EXPECT_EQ(frameIndices(all, 1).front(), 0);
    EXPECT_EQ(all.back().chunkIndex, 1);
    EXPECT_EQ(all.back().chunkCount, 2);
    const auto steps = flowlm.calls();
    const auto decodes = mimiDecoder.calls();
    EXPECT_EQ(valuesOf(steps[37], "position0"), valuesOf(steps[0], "position0"));
    EXPECT_EQ(valuesOf(decodes[37], "attn0_offset"), std::vector<double>{37});
    EXPECT_EQ(conditioner.calls().size(), 2U);
}

TEST_F(PocketTtsSynthesisTest, StreamsOfOneSeedGiveTheSameFrames) {
    logit = [](std::size_t) { return 0.0; };
    const auto first = frames({.text = "Hi.", .seed = 42});
    const auto second = frames({.text = "Hi.", .seed = 42});
    const auto other = frames({.text = "Hi.", .seed = 43});
    ASSERT_EQ(first.size(), 5U);
    for (std::size_t index = 0; index < first.size(); ++index) {
        EXPECT_EQ(first[index].samples, second[index].samples);
    }
    EXPECT_NE(first.front().samples, other.front().samples);
}

// The cache holds 512 positions: a chunk that reaches them ends there with a warning.
TEST_F(PocketTtsSynthesisTest, ChunkEndsWhenTheCacheIsFull) {
    const auto voice = std::make_shared<const PocketTtsVoiceData>(PocketTtsVoiceData{
        .audioPrompt = std::vector<float>(480 * 1024, 0.5F), .promptLength = 480, .cacheSnapshot = std::nullopt});
    std::size_t count = 0;
    for (const auto& frame : synthesizeStreaming({.text = "Hi.", .seed = 1}, voice)) {
        EXPECT_EQ(frame.frameIndex, static_cast<std::int64_t>(count++));
    }
    const double start = valuesOf(flowlm.calls().front(), "position0").front();
    EXPECT_EQ(static_cast<double>(count), 512 - start);
    EXPECT_EQ(lines(LogType::error),
              std::vector<std::string>{"Stream chunk 1 filled the KV cache's 512 positions at step " +
                                       std::to_string(count)});
}

// The stream is dropped while the second step runs, so the step after it is never started.
TEST_F(PocketTtsSynthesisTest, DroppingTheStreamCancelsItsGeneration) {
    auto entered = std::make_shared<std::promise<void>>();
    std::promise<void> dropped;
    auto released = dropped.get_future().share();
    gate = [entered, released](std::size_t call) {
        if (call == 1) {
            entered->set_value();
            released.wait();
        }
    };
    {
        auto stream = synthesizeStreaming({.text = "One two three.", .seed = 1}, trackedVoice());
        EXPECT_TRUE(stream.next());
        entered->get_future().wait();
    }
    dropped.set_value();
    ASSERT_TRUE(tracedGenerationsEnded()) << "the generation never stopped";
    EXPECT_EQ(flowlm.calls().size(), 2U);
}

TEST_F(PocketTtsSynthesisTest, ACancelledConsumerEndsTheStreamNormally) {
    platform::core::CancellationSource cancellation;
    auto stream = synthesizeStreaming({.text = "Hi.", .seed = 1}, trackedVoice());
    cancellation.cancel();
    const platform::core::Task::Scope scope(cancellation.token());
    EXPECT_EQ(stream.next(), std::nullopt);
}

TEST_F(PocketTtsSynthesisTest, SynthesizeJoinsTheFramesAndEncodesWav) {
    logit = [](std::size_t) { return 0.0; };
    const auto all = frames({.text = "Hi.", .seed = 5});
    std::vector<float> joined;
    for (const auto& frame : all) {
        joined.insert(joined.end(), frame.samples.begin(), frame.samples.end());
    }
    const auto plain = synthesize({.text = "Hi.", .seed = 5}, "alba");
    EXPECT_EQ(plain.samples, joined);
    EXPECT_EQ(plain.frameCount, 5);
    EXPECT_FALSE(plain.eosStep);
    EXPECT_EQ(plain.audio, AudioWAV::data(joined, 24000, true));
    const auto deEssed = synthesize({.text = "Hi.", .seed = 5, .deEss = true}, "alba");
    AudioPostProcessor::applyTtsPostProcessing(joined, 24000, -3.0F, false);
    EXPECT_EQ(deEssed.samples, joined);
    const auto info = lines();
    EXPECT_NE(std::ranges::find(info, "Audio duration: 0.40s"), info.end());
}

TEST_F(PocketTtsSynthesisTest, AFailingStepEndsTheStreamWithItsErrorAfterTheFramesBefore) {
    gate = [](std::size_t call) {
        if (call >= 2) {
            throw PocketTTSError::processingFailed("step broke");
        }
    };
    auto stream = synthesizeStreaming({.text = "Hi.", .seed = 1}, trackedVoice());
    EXPECT_TRUE(stream.next());
    EXPECT_TRUE(stream.next());
    EXPECT_EQ(errorText([&] { stream.next(); }), "Processing failed: step broke");
    EXPECT_EQ(errorText([&] { synthesize({.text = "Hi.", .seed = 1}, "alba"); }), "Processing failed: step broke");
}

TEST(PocketTtsSynthesisWithoutStore, EveryOperationNeedsTheBoundStore) {
    const SynthesisRequest request{.text = "Hi."};
    const auto voice = std::make_shared<const PocketTtsVoiceData>();
    const std::vector<std::function<void()>> operations{
        [&] { synthesizeStreaming(request, "alba"); },
        [&] { synthesizeStreaming(request, voice); },
        [&] { synthesize(request, "alba"); },
        [&] { synthesize(request, voice); },
    };
    for (const auto& operation : operations) {
        EXPECT_EQ(errorText(operation), "Processing failed: PocketTtsSynthesizer requires a model store context.");
    }
}

TEST(PocketTtsSynthesisWithoutStore, AnUnloadedStoreIsRefusedAtSetup) {
    const Context::Binding binding(std::make_shared<PocketTtsModelStore>(PocketTtsModelSelection{}));
    EXPECT_EQ(errorText([] { synthesizeStreaming({.text = "Hi."}, std::make_shared<const PocketTtsVoiceData>()); }),
              "Model PocketTTS constants not loaded not found");
}

} // namespace
} // namespace quorl::PocketTtsSynthesizer
