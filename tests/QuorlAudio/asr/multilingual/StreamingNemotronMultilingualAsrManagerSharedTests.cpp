#include "QuorlAudio/asr/multilingual/StreamingNemotronMultilingualAsrManager.hpp"

#include "MultilingualStreamScript.hpp"
#include "StreamingNemotronMultilingualAsrManagerProbe.hpp"
#include "platform/ml/StatefulModels.hpp"
#include "tests/support/RecordingLogSink.hpp"
#include "tests/support/ScopedEnvironment.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

namespace quorl {
namespace {

using namespace multilingualstream;
using Probe = StreamingNemotronMultilingualAsrManagerProbe;
using Manager = StreamingNemotronMultilingualAsrManager;
using platform::sys::LogType;
using Shape = std::vector<std::size_t>;

constexpr const char* category = "NemotronMultilingualStreaming";

class StreamingNemotronMultilingualAsrManagerSharedTest : public ::testing::Test {
protected:
    StreamingNemotronMultilingualAsrManagerSharedTest() : variant(smallMetadata()) {
        for (const char* name : {"QUORLAUDIO_ENABLE_SMART_SPECULATIVE", "QUORLAUDIO_DISABLE_TOKEN_PREALLOC",
                                 "QUORLAUDIO_JOINT_BATCHED_CU"}) {
            environment.set(name, std::nullopt);
        }
    }

    SharedNemotronMultilingualModels helloWorldSet() {
        variant.addEncoder({.frames = 14});
        variant.add(Model::decoderJointArgmax);
        variant.emit(Model::decoderJointArgmax, helloWorldPerChunk);
        return Manager::preloadShared(variant.folder());
    }

    static void adopt(Manager& manager, const SharedNemotronMultilingualModels& set) {
        manager.loadFromShared(set);
        Probe::setGate(manager, {.rmsThreshold = 0, .hangoverChunks = 2});
    }

    // Feeds the chunks in pieces of 1000 samples, then finishes.
    static std::string transcribe(Manager& manager, std::size_t chunks) {
        const auto samples = noise(chunks * chunkSamples);
        for (std::size_t start = 0; start < samples.size(); start += 1000) {
            manager.process(std::span(samples).subspan(start, std::min<std::size_t>(1000, samples.size() - start)));
        }
        return manager.finish();
    }

    std::vector<std::string> info() const { return log.messages(category, LogType::info); }

    testsupport::ScopedEnvironment environment;
    testsupport::RecordingLogSink log;
    MultilingualTestVariant variant;
};

TEST_F(StreamingNemotronMultilingualAsrManagerSharedTest, AdoptionSharesModelsAndTokenizerButNoStreamState) {
    variant.addStatefulEncoder({.frames = 14});
    variant.add(Model::decoderJointArgmax);
    const auto set = Manager::preloadShared(variant.folder());
    Manager first;
    Manager second;

    first.loadFromShared(set);
    second.loadFromShared(set);

    for (const Manager* manager : {&first, &second}) {
        EXPECT_EQ(Probe::models(*manager).encoder, set.encoder);
        EXPECT_EQ(Probe::models(*manager).decoderJointArgmax, set.decoderJointArgmax);
        EXPECT_EQ(Probe::tokenizer(*manager), set.tokenizer);
        EXPECT_EQ(manager->config(), set.config);
        EXPECT_EQ(Probe::state(*manager).lastToken, blank);
        EXPECT_EQ(Probe::currentPromptId(*manager), 7);
        EXPECT_EQ(Probe::encoderStepBuf(*manager)->shape(), (Shape{1, 4, 1}));
        EXPECT_EQ(Probe::encoderProjStepBuf(*manager)->shape(), (Shape{1, 1, 640}));
        EXPECT_EQ(Probe::tokenInputBuf(*manager)->shape(), (Shape{1, 1}));
        EXPECT_EQ(Probe::tokenLenBuf(*manager)->value(0), 1.0);
    }
    EXPECT_NE(Probe::melExtractor(first)->mel, Probe::melExtractor(second)->mel);
    EXPECT_NE(Probe::melExtractor(first)->mel, Probe::prefetchMelExtractor(first)->mel);
    EXPECT_NE(Probe::prefetchMelExtractor(first)->mel, Probe::prefetchMelExtractor(second)->mel);
    EXPECT_NE(Probe::state(first).cacheChannel, Probe::state(second).cacheChannel);
    EXPECT_NE(Probe::state(first).hState, Probe::state(second).hState);
    EXPECT_NE(Probe::encoderStepBuf(first), Probe::encoderStepBuf(second));
    EXPECT_NE(Probe::tokenInputBuf(first), Probe::tokenInputBuf(second));
    EXPECT_NE(Probe::models(first).decoderJointArgmaxPredictionOptions->outputBackings.at("token_id"),
              Probe::models(second).decoderJointArgmaxPredictionOptions->outputBackings.at("token_id"));
    if (platform::ml::statefulModelsSupported()) {
        ASSERT_TRUE(Probe::state(first).encoderState);
        EXPECT_NE(Probe::state(first).encoderState, Probe::state(second).encoderState);
    }
    EXPECT_TRUE(variant.predictionOrder().empty()) << "adoption warms nothing up";
    EXPECT_EQ(
        std::ranges::count(info(), "Nemotron multilingual manager initialized from shared models (200ms chunks)."), 2);
}

TEST_F(StreamingNemotronMultilingualAsrManagerSharedTest, AdoptionDropsModelsTheSetLacks) {
    MultilingualTestVariant earlier(smallMetadata());
    earlier.addEncoder({.frames = 14});
    earlier.add(Model::decoder);
    earlier.add(Model::joint);
    earlier.add(Model::decoderJoint);
    Manager manager;
    manager.loadModels(earlier.folder());

    manager.loadFromShared(helloWorldSet());

    const auto& models = Probe::models(manager);
    EXPECT_FALSE(models.decoder || models.joint || models.decoderJoint);
    EXPECT_TRUE(models.decoderJointArgmax);
    EXPECT_FALSE(models.decoderPredictionOptions);
}

TEST_F(StreamingNemotronMultilingualAsrManagerSharedTest, TheBatchWidthComesSilentlyFromTheBatchedJointsInput) {
    struct Case {
        Shape encoderProjShape;
        std::int64_t width;
    };
    for (const Case& c : {Case{{1, 4, 640}, 4}, Case{{640}, 8}}) {
        MultilingualTestVariant caseVariant(smallMetadata());
        caseVariant.addEncoder({.frames = 14});
        caseVariant.add(Model::decoder);
        caseVariant.add(Model::joint);
        caseVariant.addBatchedJoint(c.encoderProjShape);
        Manager manager;

        manager.loadFromShared(Manager::preloadShared(caseVariant.folder()));

        EXPECT_EQ(Probe::models(manager).jointNoEncProjBatchedK, c.width) << c.encoderProjShape.size();
    }
    EXPECT_TRUE(std::ranges::none_of(info(), [](const std::string& line) { return line.starts_with("Smart-spec"); }));
}

TEST_F(StreamingNemotronMultilingualAsrManagerSharedTest, StreamsOnOneSetRunAtOnceAndEachGetsItsOwnText) {
    const auto set = helloWorldSet();
    Manager alone;
    adopt(alone, set);
    EXPECT_EQ(transcribe(alone, 2), helloWorldTimes(2));

    Manager first;
    Manager second;
    adopt(first, set);
    adopt(second, set);
    std::string firstText;
    std::string secondText;
    std::thread firstThread([&] { firstText = transcribe(first, 2); });
    std::thread secondThread([&] { secondText = transcribe(second, 7); });
    firstThread.join();
    secondThread.join();

    EXPECT_EQ(firstText, helloWorldTimes(2));
    EXPECT_EQ(secondText, helloWorldTimes(7));
}

TEST_F(StreamingNemotronMultilingualAsrManagerSharedTest, ResettingOrCleaningUpOneStreamLeavesTheOtherStreaming) {
    const auto set = helloWorldSet();
    Manager first;
    Manager second;
    adopt(first, set);
    adopt(second, set);
    const auto chunk = noise(chunkSamples);

    first.process(chunk);
    second.process(chunk);
    second.reset();
    first.process(chunk);
    EXPECT_EQ(first.finish(), helloWorldTimes(2));

    first.process(chunk);
    first.cleanup();
    EXPECT_FALSE(Probe::models(first).encoder);
    EXPECT_EQ(transcribe(second, 3), helloWorldTimes(3));
    EXPECT_EQ(Probe::models(second).encoder, set.encoder);
}

} // namespace
} // namespace quorl
