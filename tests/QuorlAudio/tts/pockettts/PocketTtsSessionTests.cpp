#include "QuorlAudio/tts/pockettts/PocketTtsSession.hpp"

#include "QuorlAudio/models/ModelNamesSynthesis.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsSessionConstruction.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsSynthesis.hpp"
#include "platform/core/CancellationToken.hpp"
#include "platform/core/Task.hpp"
#include "tests/QuorlAudio/tts/pockettts/PocketTtsFixtures.hpp"
#include "tests/QuorlAudio/tts/pockettts/PocketTtsScriptedPack.hpp"
#include "tests/support/ErrorText.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <future>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace quorl::PocketTtsSynthesizer {
namespace {

using platform::sys::LogType;
using testsupport::errorText;
using testsupport::ScriptedKernel;
using Placement = PocketTtsModelPlacement;
using Lines = std::vector<std::string>;

// "<utterance>/<chunk>/<frame>" for every frame, in order.
std::vector<std::string> places(const std::vector<AudioFrame>& frames) {
    std::vector<std::string> all;
    for (const auto& frame : frames) {
        all.push_back(std::to_string(frame.utteranceIndex.value_or(-1)) + "/" + std::to_string(frame.chunkIndex) + "/" +
                      std::to_string(frame.frameIndex));
    }
    return all;
}

// "<utterance>/0/0" … "<utterance>/0/<count - 1>": one chunk's frames.
std::vector<std::string> chunkPlaces(std::int64_t utterance, std::int64_t count) {
    std::vector<std::string> all;
    for (std::int64_t frame = 0; frame < count; ++frame) {
        all.push_back(std::to_string(utterance) + "/0/" + std::to_string(frame));
    }
    return all;
}

std::vector<std::string> joined(std::vector<std::string> first, const std::vector<std::string>& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

// Holds the model call of one index until released, and says when it has been reached.
class Hold {
public:
    explicit Hold(std::size_t index) : index_(index) {}

    void operator()(std::size_t call) {
        if (call == index_) {
            reached_.set_value();
            released_.wait();
        }
    }

    void waitUntilReached() { reachedFuture_.wait(); }
    void release() { release_.set_value(); }

private:
    std::size_t index_;
    std::promise<void> reached_;
    std::shared_future<void> reachedFuture_ = reached_.get_future().share();
    std::promise<void> release_;
    std::shared_future<void> released_ = release_.get_future().share();
};

class PocketTtsSessionTest : public PocketTtsScriptedPackTest {
protected:
    explicit PocketTtsSessionTest(Placement placement) : PocketTtsScriptedPackTest(placement) {}

    std::shared_ptr<PocketTtsSession> session(std::optional<std::uint64_t> seed = 1,
                                              std::shared_ptr<const PocketTtsVoiceData> voice = nullptr) {
        return makeSession(voice ? std::move(voice) : trackedVoice(),
                           {.temperature = 0.7F, .seed = seed, .language = PocketTtsLanguage::english});
    }

    static std::vector<AudioFrame> drain(const PocketTtsSession& session) {
        std::vector<AudioFrame> all;
        for (auto& frame : session.frames()) {
            all.push_back(std::move(frame));
        }
        return all;
    }

    std::vector<AudioFrame> spoken(const std::vector<std::string>& texts, std::optional<std::uint64_t> seed = 1) {
        const auto running = session(seed);
        for (const auto& text : texts) {
            running->enqueue(text);
        }
        running->finish();
        return drain(*running);
    }

    // The flow-LM steps, or the stateful model's frame calls.
    std::vector<ScriptedKernel::Call> steps() const {
        if (!isStateful()) {
            return flowlm.calls();
        }
        std::vector<ScriptedKernel::Call> frames;
        for (auto& call : state.calls()) {
            if (call.configuration.functionName == ModelNames::PocketTTS::StateFunction::generate) {
                frames.push_back(std::move(call));
            }
        }
        return frames;
    }

    // The noise of every decoded frame (every step on the stateful road), in order.
    std::vector<std::vector<double>> noise() const {
        std::vector<std::vector<double>> all;
        for (const auto& call : isStateful() ? steps() : flowDecoder.calls()) {
            all.push_back(valuesOf(call, "latent_init"));
        }
        return all;
    }

    Lines sessionLines(LogType type = LogType::info) const { return lines("PocketTtsSession", type); }

    bool isStateful() const { return store->placement() == Placement::aneState; }
};

class PocketTtsSessionRoadTest : public PocketTtsSessionTest, public ::testing::WithParamInterface<Placement> {
protected:
    PocketTtsSessionRoadTest() : PocketTtsSessionTest(GetParam()) {}
};

class PocketTtsCacheSessionTest : public PocketTtsSessionTest {
protected:
    PocketTtsCacheSessionTest() : PocketTtsSessionTest(Placement::gpu) {}
};

class PocketTtsStateSessionTest : public PocketTtsSessionTest {
protected:
    PocketTtsStateSessionTest() : PocketTtsSessionTest(Placement::aneState) {}
};

INSTANTIATE_TEST_SUITE_P(BothRoads, PocketTtsSessionRoadTest, ::testing::Values(Placement::gpu, Placement::aneState),
                         [](const auto& info) {
                             return std::string(rawValue(info.param) == "gpu" ? "cache" : "state");
                         });

TEST_P(PocketTtsSessionRoadTest, FinishingWithNothingEnqueuedEndsTheFramesAtOnce) {
    const auto running = session();
    running->finish();
    EXPECT_TRUE(drain(*running).empty());
    EXPECT_TRUE(steps().empty());
}

// Blank texts are no utterances; each utterance's chunks and each chunk's frames count from 0.
TEST_P(PocketTtsSessionRoadTest, UtterancesAreSpokenInOrderAndBlankTextsSkipped) {
    logit = [](std::size_t) { return 0.0; };
    const auto frames = spoken({" \n ", "Hi.", "\t", "Yo."});
    EXPECT_EQ(places(frames), joined(chunkPlaces(0, 5), chunkPlaces(1, 5)));
    EXPECT_EQ(frames.front().chunkCount, 1);
    EXPECT_EQ(frames.front().samples.size(), 1920U);
    const auto info = sessionLines();
    EXPECT_EQ(std::ranges::count_if(info, [](const auto& line) { return line.starts_with("Session enqueued"); }), 2);
    EXPECT_NE(std::ranges::find(info, "Session enqueued 'Yo.', 1 chunk(s)"), info.end());
}

// A long chunk keeps 1 + 2 frames after the step that ends speech, a short one 3 + 2; the step after them is
// taken but not decoded.
TEST_P(PocketTtsSessionRoadTest, AChunkEndsItsAllowanceAfterEndOfSpeech) {
    logit = [](std::size_t call) { return call == 10 || call == 24 ? 0.0 : -10.0; };
    const auto frames = spoken({"One two three four five six.", "One two three."});
    EXPECT_EQ(places(frames), joined(chunkPlaces(0, 13), chunkPlaces(1, 15)));
    EXPECT_EQ(steps().size(), 14U + 16U);
    EXPECT_EQ(mimiDecoder.calls().size(), 28U);
    const auto info = sessionLines();
    const std::string road = isStateful() ? " (state)" : "";
    EXPECT_EQ(std::ranges::count(info, "Session chunk 0" + road + " EOS at step 10"), 2);
}

TEST_P(PocketTtsSessionRoadTest, TextsAfterFinishOrCancelAreNeverSpoken) {
    const auto finished = session();
    finished->enqueue("Hi.");
    finished->finish();
    finished->enqueue("Yo.");
    EXPECT_EQ(places(drain(*finished)), chunkPlaces(0, 37));

    const auto cancelled = session();
    cancelled->cancel();
    cancelled->enqueue("Hi.");
    EXPECT_TRUE(drain(*cancelled).empty());
    EXPECT_EQ(steps().size(), 37U);
}

TEST_P(PocketTtsSessionRoadTest, OneSeedGivesTheSameNoiseAndFrames) {
    logit = [](std::size_t) { return 0.0; };
    const auto first = spoken({"Hi."}, 7);
    const auto firstNoise = noise();
    const auto second = spoken({"Hi."}, 7);
    const auto bothNoise = noise();
    ASSERT_EQ(bothNoise.size(), 2 * firstNoise.size());
    EXPECT_TRUE(std::equal(firstNoise.begin(), firstNoise.end(), bothNoise.begin() + firstNoise.size()));
    ASSERT_EQ(first.size(), second.size());
    for (std::size_t index = 0; index < first.size(); ++index) {
        EXPECT_EQ(first[index].samples, second[index].samples);
    }
    spoken({"Hi."}, 8);
    EXPECT_NE(noise().back(), bothNoise.back());
}

// Cancelled while its third step runs, the session lets that step finish and decode, and returns only once the
// generation has ended.
TEST_P(PocketTtsSessionRoadTest, CancellingMidChunkFinishesTheStepAndWaitsForTheGeneration) {
    Hold hold(2);
    gate = [&hold](std::size_t call) { hold(call); };
    const auto running = session();
    running->enqueue("One two three.");
    running->enqueue("Four five.");
    hold.waitUntilReached();
    std::atomic<bool> returned = false;
    auto cancelling = std::async(std::launch::async, [&] {
        running->cancel();
        returned = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(returned) << "cancel returned while a step was still running";
    hold.release();
    cancelling.get();
    EXPECT_EQ(steps().size(), 3U);
    EXPECT_EQ(places(drain(*running)), chunkPlaces(0, 3));
}

// The flow-LM step answers no end-of-speech logit, or the stateful model no "is_eos", at the third step.
TEST_P(PocketTtsSessionRoadTest, AMissingOutputEndsTheFramesWithItsErrorAndDropsLaterTexts) {
    edit = [](std::size_t call, ScriptedKernel::Outputs& outputs) {
        if (call == 2) {
            outputs.erase("eos_logit");
            outputs.erase("is_eos");
        }
    };
    const auto running = session();
    running->enqueue("Hi.");
    auto frames = running->frames();
    EXPECT_TRUE(frames.next());
    EXPECT_TRUE(frames.next());
    EXPECT_EQ(errorText([&] { frames.next(); }),
              isStateful() ? "missingOutput(is_eos)" : "Processing failed: Missing flowlm_step EOS logit");
    running->enqueue("Yo.");
    running->cancel();
    EXPECT_EQ(steps().size(), 3U);
}

// A voice of 480 prompt frames leaves the chunk 31 positions or fewer: the chunk ends when the cache is full.
TEST_P(PocketTtsSessionRoadTest, AChunkEndsWhenTheCacheIsFull) {
    const auto voice = std::make_shared<const PocketTtsVoiceData>(PocketTtsVoiceData{
        .audioPrompt = std::vector<float>(480 * 1024, 0.5F), .promptLength = 480, .cacheSnapshot = std::nullopt});
    const auto running = session(1, voice);
    running->enqueue("Hi.");
    running->finish();
    const auto frames = drain(*running);
    const auto start = valuesOf(steps().front(), isStateful() ? "position" : "position0").front();
    ASSERT_EQ(static_cast<double>(frames.size()), 512 - start);
    const std::string road = isStateful() ? " (state)" : "";
    EXPECT_EQ(sessionLines(LogType::error),
              Lines{"Session chunk 0" + road + " filled the KV cache's 512 positions at step " +
                    std::to_string(frames.size())});
}

TEST_F(PocketTtsCacheSessionTest, AShippedVoiceIsPrefilledWithoutAModelAndAClonedOneInOneCall) {
    session()->cancel();
    EXPECT_TRUE(conditioner.calls().empty());
    const auto cloned = std::make_shared<const PocketTtsVoiceData>(PocketTtsVoiceData{
        .audioPrompt = std::vector<float>(125 * 1024, 0.5F), .promptLength = 125, .cacheSnapshot = std::nullopt});
    session(1, cloned)->cancel();
    ASSERT_EQ(conditioner.calls().size(), 1U);
    const auto prefill = conditioner.calls().front();
    EXPECT_EQ(valuesOf(prefill, "valid_len"), std::vector<double>{126});
    const auto conditioning = valuesOf(prefill, "conditioning");
    EXPECT_EQ(conditioning[1023], 1.0);
    EXPECT_EQ(conditioning[1024], 0.5);
    EXPECT_EQ(lines("PocketTtsSynthesizer", LogType::info),
              (Lines{"Session voice prefill at position 10", "Session voice prefill at position 126"}));
}

// Every chunk restores the voice converted once, then prefills only its own text.
TEST_F(PocketTtsStateSessionTest, TheVoiceSnapshotIsMadeOnceAndRestoredForEveryChunk) {
    logit = [](std::size_t) { return 0.0; };
    spoken({"Hi.", "Yo."});
    const auto info = sessionLines();
    EXPECT_EQ(std::ranges::count(info, "Session state voice snapshot ready at position 10"), 1);
    std::vector<double> prefillStarts;
    for (const auto& call : state.calls()) {
        if (call.configuration.functionName == ModelNames::PocketTTS::StateFunction::prefill) {
            prefillStarts.push_back(valuesOf(call, "position").front());
        }
    }
    EXPECT_EQ(prefillStarts, (std::vector<double>{10, 10}));
    EXPECT_NE(std::ranges::find_if(
                  info, [](const auto& line) { return line.starts_with("State KV prefilled to position "); }),
              info.end());
}

// The stateful road builds a cloned voice's cache on the first chunk: without the start embedding that
// chunk fails, where the cache road refuses the session outright.
TEST_F(PocketTtsStateSessionTest, AClonedVoiceWithoutItsStartEmbeddingFailsOnItsFirstChunk) {
    std::filesystem::remove(english / "constants_bin" / "bos_before_voice.bin");
    const auto bare = std::make_shared<PocketTtsModelStore>(PocketTtsModelSelection{
        .language = PocketTtsLanguage::english, .directory = folder / "cache", .placement = Placement::aneState});
    bare->loadIfNeeded();
    const Context::Binding inner(bare);
    const auto cloned = std::make_shared<const PocketTtsVoiceData>(PocketTtsVoiceData{
        .audioPrompt = std::vector<float>(3 * 1024, 0.5F), .promptLength = 3, .cacheSnapshot = std::nullopt});
    const auto running = session(1, cloned);
    running->enqueue("Hi.");
    EXPECT_EQ(errorText([&] { drain(*running); }),
              "Processing failed: PocketTTS cloned-voice prefill requires bos_before_voice constant. Re-download the "
              "language pack.");
    EXPECT_TRUE(steps().empty());
}

// Cancelling its reading, or dropping the stream with the session, stops the generation as `cancel` would.
TEST_F(PocketTtsStateSessionTest, AConsumerThatStopsReadingStopsTheGeneration) {
    for (const bool dropSession : {false, true}) {
        Hold hold(dropSession ? 4 : 1);
        gate = [&hold](std::size_t call) { hold(call); };
        auto running = session();
        running->enqueue("One two three.");
        {
            auto frames = running->frames();
            EXPECT_TRUE(frames.next());
            hold.waitUntilReached();
            if (dropSession) {
                running.reset();
            } else {
                platform::core::CancellationSource cancellation;
                cancellation.cancel();
                const platform::core::Task::Scope scope(cancellation.token());
                EXPECT_EQ(frames.next(), std::nullopt);
            }
        }
        hold.release();
        ASSERT_TRUE(tracedGenerationsEnded()) << "the generation never stopped";
        EXPECT_EQ(steps().size(), dropSession ? 5U : 2U);
        gate = nullptr;
    }
}

TEST_F(PocketTtsStateSessionTest, StreamingSynthesisSpeaksTheTextThroughASession) {
    logit = [](std::size_t) { return 0.0; };
    std::vector<AudioFrame> frames;
    for (auto& frame :
         synthesizeStreaming({.text = "Hi.", .seed = 3, .language = PocketTtsLanguage::english}, trackedVoice())) {
        frames.push_back(std::move(frame));
    }
    EXPECT_EQ(places(frames), chunkPlaces(0, 5));
    EXPECT_TRUE(flowlm.calls().empty());
    EXPECT_EQ(synthesize({.text = "Hi.", .seed = 3, .language = PocketTtsLanguage::english}, "alba").frameCount, 5);
}

} // namespace
} // namespace quorl::PocketTtsSynthesizer
