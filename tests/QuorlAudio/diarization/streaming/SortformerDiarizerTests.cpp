#include "QuorlAudio/diarization/streaming/SortformerDiarizer.hpp"

#include "QuorlAudio/diarization/streaming/config/SortformerError.hpp"
#include "platform/core/CancellationToken.hpp"
#include "platform/core/Task.hpp"
#include "tests/QuorlAudio/diarization/streaming/SortformerTestModel.hpp"
#include "tests/support/RecordingLogSink.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <stdexcept>
#include <vector>

namespace quorl {
namespace {

using testing::SortformerTestModel;

// Alternating half-seconds of a loud tone and near silence, so that the stand-in model's speakers take turns.
std::vector<float> turns(std::size_t count) {
    std::vector<float> samples(count);
    for (std::size_t index = 0; index < count; ++index) {
        const bool loud = (index / 8000) % 2 == 0;
        samples[index] =
            static_cast<float>((loud ? 0.5 : 0.001) * std::sin(2 * M_PI * 300 * static_cast<double>(index) / 16000));
    }
    return samples;
}

SortformerError::Kind kindOf(const std::function<void()>& operation) {
    try {
        operation();
    } catch (const SortformerError& error) {
        return error.kind();
    }
    throw std::logic_error("no SortformerError");
}

class SortformerDiarizerTest : public ::testing::Test {
protected:
    SortformerDiarizerTest() { diarizer.initialize(model.load(folder.path())); }

    std::vector<double> chunkLengths() const {
        std::vector<double> lengths;
        for (const auto& call : model.kernel.calls()) {
            lengths.push_back(call.inputs.at("chunk_lengths").multiArrayValue()->value(0));
        }
        return lengths;
    }

    testsupport::TemporaryFolder folder;
    SortformerTestModel model;
    SortformerDiarizer diarizer;
};

TEST_F(SortformerDiarizerTest, TheFirstChunkRunsOnceItsCoreAndRightContextAreHeard) {
    const auto audio = turns(16880);
    EXPECT_EQ(diarizer.process(std::span(audio).first(16879), std::nullopt), std::nullopt);
    EXPECT_TRUE(model.kernel.calls().empty());

    const auto update = diarizer.process(std::span(audio).last(1), std::nullopt);
    ASSERT_TRUE(update.has_value());
    EXPECT_EQ(update->chunkResult.startFrame, 0);
    EXPECT_EQ(update->chunkResult.finalizedFrameCount, 6);
    EXPECT_EQ(update->chunkResult.tentativeFrameCount, 7);
    EXPECT_EQ(chunkLengths(), std::vector<double>{104});
    EXPECT_EQ(diarizer.numFramesProcessed(), 6);
}

TEST_F(SortformerDiarizerTest, LaterChunksCarryTheirLeftContext) {
    diarizer.process(turns(16000 * 3), std::nullopt);
    EXPECT_EQ(chunkLengths(), (std::vector<double>{104, 112, 112, 112, 112}));
    EXPECT_EQ(diarizer.numFramesProcessed(), 30);
}

TEST_F(SortformerDiarizerTest, TheTimelineIsTheSameHoweverTheAudioIsFed) {
    const auto audio = turns(160000);
    diarizer.process(audio, std::nullopt);
    diarizer.finalizeSession();
    const auto whole = diarizer.timeline()->finalizedPredictions();

    diarizer.reset();
    const std::vector<std::size_t> pieces{1, 399, 1601, 7, 16000, 160, 3333};
    for (std::size_t position = 0, piece = 0; position < audio.size(); ++piece) {
        const std::size_t count = std::min(pieces[piece % pieces.size()], audio.size() - position);
        diarizer.process(std::span(audio).subspan(position, count), std::nullopt);
        position += count;
    }
    diarizer.finalizeSession();
    EXPECT_EQ(diarizer.timeline()->finalizedPredictions(), whole);
}

TEST_F(SortformerDiarizerTest, FinalizingCoversExactlyTheFramesOfTheAudio) {
    struct Case {
        std::size_t samples;
        std::int64_t frames;
    };
    for (const auto& [samples, frames] : {Case{160000, 126}, Case{16000, 13}, Case{400, 1}, Case{0, 0}}) {
        diarizer.reset();
        diarizer.process(turns(samples), std::nullopt);
        diarizer.finalizeSession();
        EXPECT_EQ(diarizer.numFramesProcessed(), frames) << samples;
        EXPECT_EQ(diarizer.timeline()->numFinalizedFrames(), frames) << samples;
        EXPECT_EQ(diarizer.timeline()->numTentativeFrames(), 0) << samples;
    }
}

TEST_F(SortformerDiarizerTest, AFailingChunkLosesNoneOfTheChunksBeforeIt) {
    model.beforePrediction = [](std::size_t index) {
        if (index == 2) {
            throw std::runtime_error("the model failed");
        }
    };
    EXPECT_THROW(diarizer.process(turns(16000 * 3), std::nullopt), std::runtime_error);
    EXPECT_EQ(diarizer.numFramesProcessed(), 12);
    EXPECT_EQ(diarizer.timeline()->numFinalizedFrames(), 12);
}

TEST_F(SortformerDiarizerTest, CancellationEndsProcessingBetweenChunks) {
    platform::core::CancellationSource source;
    model.beforePrediction = [&](std::size_t index) {
        if (index == 1) {
            source.cancel();
        }
    };
    platform::core::Task::Scope scope(source.token());
    EXPECT_THROW(diarizer.process(turns(16000 * 3), std::nullopt), platform::core::CancellationError);
    EXPECT_EQ(model.kernel.calls().size(), 2u);
    EXPECT_EQ(diarizer.numFramesProcessed(), 12);
}

TEST_F(SortformerDiarizerTest, TheTimelineTakesTheModelsSpeakersAndFrameDuration) {
    DiarizerTimelineConfig timelineConfig = DiarizerTimelineConfig::defaultConfig(2, 0.5f);
    timelineConfig.onsetThreshold = 0.7f;
    const SortformerDiarizer other(SortformerConfig::defaultConfig(), timelineConfig);
    const auto& used = other.timeline()->config();
    EXPECT_EQ(used.numSpeakers, 4);
    EXPECT_FLOAT_EQ(used.frameDurationSeconds, 0.08f);
    EXPECT_FLOAT_EQ(used.onsetThreshold, 0.7f);
    EXPECT_NEAR(*other.modelFrameHz(), 12.5, 1e-5);
}

TEST_F(SortformerDiarizerTest, AModelOfAnotherGeometryIsInstalledWithOneErrorLine) {
    testsupport::RecordingLogSink sink;
    testsupport::TemporaryFolder scratch;
    const nlohmann::json geometry{{"chunk_len", "6"},
                                  {"chunk_left_context", "1"},
                                  {"chunk_right_context", "7"},
                                  {"fifo_len", "188"},
                                  {"spkcache_len", "188"}};
    SortformerDiarizer mismatched;
    mismatched.initialize(model.load(scratch.path(), geometry));
    EXPECT_TRUE(mismatched.isAvailable());
    const auto errors = sink.messages("SortformerDiarizerPipeline", platform::sys::LogType::error);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "Sortformer config mismatch — diarizer config does not match the loaded model. This "
                         "produces incorrect and much slower diarization. diarizer(chunkLen=6, leftCtx=1, "
                         "rightCtx=7, fifoLen=40, spkcacheLen=188) vs model(chunkLen=6, leftCtx=1, rightCtx=7, "
                         "fifoLen=188, spkcacheLen=188). Construct SortformerDiarizer with the SortformerConfig "
                         "matching the model variant.");
}

TEST_F(SortformerDiarizerTest, TheStreamCanBeFinishedResetAndReleased) {
    EXPECT_EQ(diarizer.process(), std::nullopt);
    EXPECT_EQ(diarizer.numFramesProcessed(), 0);

    diarizer.process(turns(16000 * 2), std::nullopt);
    EXPECT_TRUE(diarizer.finalizeSession().has_value());
    EXPECT_EQ(diarizer.finalizeSession(), std::nullopt);

    diarizer.reset();
    EXPECT_TRUE(diarizer.timeline()->speakers().empty());
    EXPECT_EQ(diarizer.numFramesProcessed(), 0);
    EXPECT_TRUE(diarizer.isAvailable());

    diarizer.cleanup();
    EXPECT_FALSE(diarizer.isAvailable());
    EXPECT_EQ(kindOf([&] { diarizer.process(); }), SortformerError::Kind::notInitialized);
    EXPECT_EQ(kindOf([&] { diarizer.finalizeSession(); }), SortformerError::Kind::notInitialized);
}

TEST_F(SortformerDiarizerTest, AudioAtAnotherRateGivesTheSameUpdateEitherWay) {
    const auto audio = turns(48000 * 2);
    const auto together = diarizer.process(audio, 48000.0);
    diarizer.reset();
    diarizer.addAudio(audio, 48000.0);
    const auto apart = diarizer.process();
    ASSERT_TRUE(together.has_value() && apart.has_value());
    EXPECT_EQ(together->chunkResult.finalizedPredictions, apart->chunkResult.finalizedPredictions);
    EXPECT_EQ(together->chunkResult.finalizedFrameCount, 12);
}

std::vector<std::string> failures(const testsupport::RecordingLogSink& sink) {
    auto lines = sink.messages("SortformerDiarizerPipeline");
    std::erase_if(lines, [](const std::string& line) { return !line.starts_with("Failed to enroll"); });
    return lines;
}

std::vector<float> loudTone(std::size_t count) {
    std::vector<float> samples(count);
    for (std::size_t index = 0; index < count; ++index) {
        samples[index] = 0.5f * static_cast<float>(std::sin(2 * M_PI * 300 * static_cast<double>(index) / 16000));
    }
    return samples;
}

TEST_F(SortformerDiarizerTest, AWholeRecordingGivesWhatStreamingAndFinalizingGive) {
    const auto audio = turns(160000);
    diarizer.process(audio, std::nullopt);
    diarizer.finalizeSession();
    const auto streamed = diarizer.timeline()->finalizedPredictions();

    const auto timeline = diarizer.processComplete(audio, std::nullopt, {.keepingEnrolledSpeakers = false});
    EXPECT_EQ(timeline, diarizer.timeline());
    EXPECT_EQ(timeline->finalizedPredictions(), streamed);
    EXPECT_EQ(timeline->numFinalizedFrames(), 126);
    EXPECT_EQ(diarizer.numFramesProcessed(), 126);
}

TEST_F(SortformerDiarizerTest, AWholeRecordingShorterThanOneChunkStillGetsItsFrames) {
    const auto timeline = diarizer.processComplete(turns(16000), std::nullopt, {});
    EXPECT_EQ(timeline->numFinalizedFrames(), 13);
}

TEST_F(SortformerDiarizerTest, WithoutFinalizingTheLastLookAheadStaysTentative) {
    const auto timeline = diarizer.processComplete(turns(160000), std::nullopt, {.finalizeOnCompletion = false});
    EXPECT_GT(timeline->numTentativeFrames(), 0);
    EXPECT_EQ(timeline->numFinalizedFrames() + timeline->numTentativeFrames(), 126);
}

TEST_F(SortformerDiarizerTest, ProgressCountsEveryChunkAndNeverPassesTheTotal) {
    std::vector<std::array<std::int64_t, 3>> reports;
    diarizer.processComplete(turns(80000), std::nullopt,
                             {.progressCallback = [&](std::int64_t processed, std::int64_t total, std::int64_t chunks) {
                                 reports.push_back({processed, total, chunks});
                             }});
    ASSERT_EQ(reports.size(), model.kernel.calls().size());
    for (std::size_t index = 0; index < reports.size(); ++index) {
        EXPECT_EQ(reports[index][2], static_cast<std::int64_t>(index) + 1);
        EXPECT_EQ(reports[index][1], 80000);
        EXPECT_EQ(reports[index][0], std::min<std::int64_t>(80000, (static_cast<std::int64_t>(index) + 1) * 7680));
    }
}

TEST_F(SortformerDiarizerTest, AWholeRecordingKeepsTheStreamingStateOnlyWhenNothingWasStreamed) {
    const auto firstFifoLength = [&](std::size_t from) {
        return model.kernel.calls().at(from).inputs.at("fifo_lengths").multiArrayValue()->value(0);
    };
    const auto alice = diarizer.enrollSpeaker(loudTone(48000), std::nullopt, "Alice", false);
    ASSERT_TRUE(alice);
    auto calls = model.kernel.calls().size();
    diarizer.processComplete(turns(48000), std::nullopt, {});
    EXPECT_GT(firstFifoLength(calls), 0);
    EXPECT_EQ(diarizer.timeline()->speakers().at(alice->index())->name(), "Alice");

    diarizer.reset();
    diarizer.process(turns(32000), std::nullopt);
    calls = model.kernel.calls().size();
    diarizer.processComplete(turns(48000), std::nullopt, {});
    EXPECT_EQ(firstFifoLength(calls), 0);
}

TEST_F(SortformerDiarizerTest, EnrolmentNamesTheMostActiveSlotAndTheStreamThenStartsAtFrameZero) {
    testsupport::RecordingLogSink sink;
    const auto alice = diarizer.enrollSpeaker(loudTone(48000), std::nullopt, "Alice", false);
    ASSERT_TRUE(alice);
    const auto slot = alice->index();
    EXPECT_EQ(diarizer.enrollSpeaker(loudTone(48000), std::nullopt, "Bob", false), nullptr);
    EXPECT_EQ(diarizer.timeline()->speakers().at(slot)->name(), "Alice");
    EXPECT_EQ(diarizer.enrollSpeaker(loudTone(48000), std::nullopt, "Bob", true)->name(), "Bob");

    const auto update = diarizer.process(turns(16880), std::nullopt);
    ASSERT_TRUE(update.has_value());
    EXPECT_EQ(update->chunkResult.startFrame, 0);
    EXPECT_EQ(diarizer.timeline()->speakers().at(slot)->name(), "Bob");
    const auto warnings = failures(sink);
    EXPECT_EQ(warnings.at(0), "Failed to enroll speaker named 'Bob': diarizer matched existing speaker 'Alice' at "
                              "index " +
                                  std::to_string(slot) + " and overwritingAssignedSpeakerName=false");
}

TEST_F(SortformerDiarizerTest, AFailedEnrolmentLeavesNoAudioForTheNextStream) {
    testsupport::RecordingLogSink sink;
    SortformerDiarizer unloaded;
    EXPECT_EQ(unloaded.enrollSpeaker({}, std::nullopt, std::nullopt, false), nullptr);
    EXPECT_EQ(diarizer.enrollSpeaker(loudTone(8000), std::nullopt, std::nullopt, false), nullptr);
    model.beforePrediction = [](std::size_t) { throw std::runtime_error("the model failed"); };
    EXPECT_THROW(diarizer.enrollSpeaker(loudTone(48000), std::nullopt, "Carol", false), std::runtime_error);
    model.beforePrediction = {};

    EXPECT_EQ(diarizer.process(turns(16879), std::nullopt), std::nullopt);
    EXPECT_EQ(diarizer.process(turns(1), std::nullopt)->chunkResult.startFrame, 0);
    const auto warnings = failures(sink);
    ASSERT_GE(warnings.size(), 2u);
    EXPECT_EQ(warnings[0], "Failed to enroll speaker (no name) because no speech detected");
    EXPECT_EQ(warnings[1], "Failed to enroll speaker (no name): not enough audio was provided. Please provide at "
                           "least 1.04 seconds of speech.");
}

} // namespace
} // namespace quorl
