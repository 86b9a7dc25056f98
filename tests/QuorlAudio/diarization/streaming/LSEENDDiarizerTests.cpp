#include "QuorlAudio/diarization/streaming/LSEENDDiarizer.hpp"
#include "QuorlAudio/diarization/streaming/LSEENDError.hpp"
#include "QuorlAudio/foundation/AudioConverter.hpp"
#include "tests/QuorlAudio/diarization/streaming/LSEENDTestModel.hpp"
#include "tests/support/SoundFileWriter.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <tuple>

namespace quorl {
namespace {

using testing::LSEENDTestModel;
using testing::smallLSEENDMetadata;

// A voice whose level keeps every mel band busy.
std::vector<float> speech(std::size_t count) {
    std::vector<float> samples(count);
    for (std::size_t index = 0; index < count; ++index) {
        const auto t = static_cast<float>(index);
        samples[index] = 0.3f * std::sin(t * 0.05f) + 0.1f * std::sin(t * 0.31f) * std::sin(t * 0.001f);
    }
    return samples;
}

LSEENDMetadata withSlots(int slots) {
    auto metadata = smallLSEENDMetadata();
    metadata.maxSpeakers = slots;
    return metadata;
}

class LSEENDDiarizerTest : public ::testing::Test {
protected:
    explicit LSEENDDiarizerTest(LSEENDMetadata metadata = smallLSEENDMetadata())
        : model("ls-eend-diarizer", metadata), diarizer(model.load(folder.path()), std::nullopt) {}

    // Samples of a stream that complete `chunks` model chunks.
    std::size_t samplesFor(int chunks) const {
        const auto& m = model.metadata;
        return static_cast<std::size_t>(chunks * m.chunkSize * m.subsampling * m.hopLength + m.nFFT() / 2 -
                                        m.hopLength);
    }

    std::int64_t samplesPerChunk() const {
        return std::int64_t{model.metadata.chunkSize} * model.metadata.subsampling * model.metadata.hopLength;
    }

    // The state the model read in its latest prediction: every element is the count of predictions before it.
    double lastStateRead() const {
        return model.kernel.calls().back().inputs.at("dec_scale").multiArrayValue()->value(0);
    }

    testsupport::TemporaryFolder folder;
    LSEENDTestModel model;
    LSEENDDiarizer diarizer;
};

TEST(LSEENDDiarizerUnloadedTest, RefusesWorkUntilAModelIsAttached) {
    LSEENDDiarizer diarizer;
    EXPECT_FALSE(diarizer.isAvailable());
    EXPECT_FALSE(diarizer.targetSampleRate());
    EXPECT_FALSE(diarizer.modelFrameHz());
    EXPECT_FALSE(diarizer.numSpeakers());
    EXPECT_EQ(diarizer.timeline()->config().frameDurationSeconds, 0.1f);
    EXPECT_NO_THROW(diarizer.addAudio({}, std::nullopt));
    const auto samples = speech(10);
    const std::vector<std::function<void()>> operations{
        [&] { diarizer.addAudio(samples, std::nullopt); },
        [&] { diarizer.process(); },
        [&] { diarizer.finalizeSession(); },
        [&] { diarizer.processComplete(samples, std::nullopt, {}); },
        [&] { diarizer.enrollSpeaker(samples, std::nullopt, "Ann", false); },
    };
    for (const auto& operation : operations) {
        try {
            operation();
            ADD_FAILURE();
        } catch (const LSEENDError& error) {
            EXPECT_EQ(error.kind(), LSEENDError::Kind::notInitialized);
        }
    }
    EXPECT_NO_THROW(diarizer.reset());
    EXPECT_NO_THROW(diarizer.cleanup());
}

TEST_F(LSEENDDiarizerTest, TakesItsSizesFromTheModel) {
    EXPECT_TRUE(diarizer.isAvailable());
    EXPECT_EQ(diarizer.targetSampleRate(), 8000);
    EXPECT_DOUBLE_EQ(*diarizer.modelFrameHz(), 1.0 / static_cast<double>(0.1f));
    EXPECT_EQ(diarizer.numSpeakers(), 2);
    EXPECT_EQ(diarizer.timeline()->config().numSpeakers, 2);
    EXPECT_FALSE(diarizer.process()) << "no audio yet";
    EXPECT_EQ(diarizer.numFramesProcessed(), 0);
}

class LSEENDDelayTest : public LSEENDDiarizerTest {
protected:
    static LSEENDMetadata tenFrameChunks() {
        auto metadata = smallLSEENDMetadata();
        metadata.chunkSize = 10;
        return metadata;
    }
    LSEENDDelayTest() : LSEENDDiarizerTest(tenFrameChunks()) {}
};

TEST_F(LSEENDDelayTest, TheConvolutionDelayDropsTheFirstFramesOfAStream) {
    const auto audio = speech(samplesFor(2));
    EXPECT_FALSE(diarizer.process(std::span<const float>(audio).first(samplesFor(1) - 1), std::nullopt));
    EXPECT_EQ(diarizer.timeline()->numFrames(), 0);
    const auto first = diarizer.process(std::span<const float>(audio).subspan(samplesFor(1) - 1, 1), std::nullopt);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->chunkResult.finalizedFrameCount, 7);
    EXPECT_EQ(diarizer.numFramesProcessed(), 7);
    EXPECT_EQ(diarizer.process(std::span<const float>(audio).subspan(samplesFor(1)), std::nullopt)
                  ->chunkResult.finalizedFrameCount,
              10);
    EXPECT_EQ(diarizer.numFramesProcessed(), 17);
    EXPECT_TRUE(diarizer.timeline()->tentativePredictions().empty());

    diarizer.reset();
    EXPECT_EQ(diarizer.numFramesProcessed(), 0);
    EXPECT_EQ(diarizer.process(audio, std::nullopt)->chunkResult.finalizedFrameCount, 17);
}

TEST_F(LSEENDDiarizerTest, WholeRecordingsReportProgressPerChunk) {
    std::vector<std::tuple<std::int64_t, std::int64_t, std::int64_t>> reports;
    const auto record = [&](std::int64_t done, std::int64_t total, std::int64_t chunks) {
        reports.emplace_back(done, total, chunks);
    };
    const auto timeline = diarizer.processComplete(
        speech(samplesFor(3)), std::nullopt,
        {.keepingEnrolledSpeakers = std::nullopt, .finalizeOnCompletion = false, .progressCallback = record});
    EXPECT_EQ(timeline, diarizer.timeline());
    const auto s = samplesPerChunk();
    EXPECT_EQ(reports, (decltype(reports){{s, 3 * s, 1}, {2 * s, 3 * s, 2}, {3 * s, 3 * s, 3}}));
    EXPECT_EQ(diarizer.numFramesProcessed(), 9);

    reports.clear();
    diarizer.processComplete(speech(100), std::nullopt, {.finalizeOnCompletion = false, .progressCallback = record});
    EXPECT_TRUE(reports.empty());
}

TEST_F(LSEENDDiarizerTest, WholeRecordingsKeepEnrolledSpeakersOnlyBeforeAnySegment) {
    diarizer.timeline()->upsertSpeaker("Ann", 1);
    diarizer.processComplete(speech(samplesFor(3)), std::nullopt, {});
    EXPECT_EQ(diarizer.timeline()->speakers().at(1)->name(), "Ann");
    EXPECT_TRUE(diarizer.timeline()->hasSegments());
    EXPECT_TRUE(diarizer.finalizeSession() == std::nullopt) << "already finalized";

    diarizer.processComplete(speech(samplesFor(3)), std::nullopt, {.keepingEnrolledSpeakers = true});
    EXPECT_EQ(diarizer.timeline()->speakers().at(1)->name(), "Ann");
    diarizer.processComplete(speech(samplesFor(3)), std::nullopt, {});
    EXPECT_FALSE(diarizer.timeline()->speakers().contains(1));
}

TEST_F(LSEENDDiarizerTest, FinalizingDrainsTheStreamOnce) {
    diarizer.process(speech(samplesFor(2) + 400), std::nullopt);
    const auto before = diarizer.numFramesProcessed();
    const auto update = diarizer.finalizeSession();
    ASSERT_TRUE(update);
    EXPECT_GT(diarizer.numFramesProcessed(), before);
    EXPECT_FALSE(update->finalizedSegments.empty());
    EXPECT_FALSE(diarizer.finalizeSession());
    EXPECT_TRUE(diarizer.timeline()->tentativePredictions().empty());
}

TEST_F(LSEENDDiarizerTest, AudioAtAnotherRateGivesTheSameUpdateEitherWay) {
    const auto audio = speech(2 * samplesFor(3));
    const auto direct = diarizer.process(audio, 16000.0);
    const auto directPredictions = diarizer.timeline()->finalizedPredictions();
    diarizer.reset();
    diarizer.addAudio(audio, 16000.0);
    const auto split = diarizer.process();
    ASSERT_TRUE(direct && split);
    EXPECT_EQ(split->chunkResult.finalizedFrameCount, direct->chunkResult.finalizedFrameCount);
    EXPECT_EQ(diarizer.timeline()->finalizedPredictions(), directPredictions);
    EXPECT_GT(diarizer.numFramesProcessed(), 0);
}

TEST_F(LSEENDDiarizerTest, AFileIsDiarizedAsItsSamplesAre) {
    const auto audio = speech(samplesFor(3) + 1000);
    diarizer.processComplete(audio, std::nullopt, {});
    const auto expected = diarizer.timeline()->finalizedPredictions();
    const auto file = folder.path() / "speech.wav";
    testsupport::writeSoundFile(file, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 8000, 1, audio);
    const auto timeline = diarizer.processComplete(file, {});
    EXPECT_EQ(timeline, diarizer.timeline());
    EXPECT_EQ(timeline->finalizedPredictions(), expected);
    EXPECT_THROW(diarizer.processComplete(folder.path() / "missing.wav", {}), std::exception);
    EXPECT_EQ(diarizer.numFramesProcessed(), 0) << "the stream was reset before the file failed to open";
}

TEST_F(LSEENDDiarizerTest, ChunksRunBeforeAFailingOneStillReachTheTimeline) {
    model.beforePrediction = [](std::size_t index) {
        if (index == 1) {
            throw std::runtime_error("chunk 2 failed");
        }
    };
    EXPECT_THROW(diarizer.process(speech(samplesFor(3)), std::nullopt), std::runtime_error);
    EXPECT_EQ(diarizer.numFramesProcessed(), 1);
    model.beforePrediction = {};
    diarizer.process();
    EXPECT_EQ(diarizer.numFramesProcessed(), 1 + 4) << "the failed chunk is consumed, the next one runs";
}

TEST_F(LSEENDDiarizerTest, CleanupReleasesTheModelButKeepsTheTimeline) {
    diarizer.processComplete(speech(samplesFor(3)), std::nullopt, {});
    const auto timeline = diarizer.timeline();
    diarizer.cleanup();
    EXPECT_FALSE(diarizer.isAvailable());
    EXPECT_FALSE(diarizer.numSpeakers());
    EXPECT_EQ(diarizer.timeline(), timeline);
    EXPECT_TRUE(timeline->hasSegments());
    EXPECT_THROW(diarizer.process(), LSEENDError);
}

class LSEENDEnrolmentTest : public LSEENDDiarizerTest {
protected:
    LSEENDEnrolmentTest() : LSEENDDiarizerTest(withSlots(3)) {
        model.slotProbabilities = {0.9f, 0.7f, 0.0f};
        diarizer.timeline()->upsertSpeaker("Ann", 0);
        diarizer.process(speech(samplesFor(1)), std::nullopt);
    }

    // The stream as it was after its one chunk: one frame past the warm-up, the speakers as named, and a next
    // chunk that is all valid frames and reads the state of one prediction.
    void expectStreamAsBefore(const std::map<std::int64_t, std::optional<std::string>>& names) {
        EXPECT_EQ(diarizer.numFramesProcessed(), 1);
        std::map<std::int64_t, std::optional<std::string>> found;
        for (const auto& [slot, speaker] : diarizer.timeline()->speakers()) {
            found[slot] = speaker->name();
        }
        EXPECT_EQ(found, names);
        const auto next = diarizer.process(speech(static_cast<std::size_t>(samplesPerChunk())), std::nullopt);
        ASSERT_TRUE(next);
        EXPECT_EQ(next->chunkResult.finalizedFrameCount, 4);
        EXPECT_EQ(lastStateRead(), 1.0);
    }
};

TEST_F(LSEENDEnrolmentTest, AnUnnamedActiveSlotWinsOverAMoreActiveNamedOne) {
    const auto speaker = diarizer.enrollSpeaker(speech(samplesFor(2)), std::nullopt, "Bob", false);
    ASSERT_TRUE(speaker);
    EXPECT_EQ(speaker->index(), 1);
    EXPECT_EQ(speaker->name(), "Bob");
    EXPECT_EQ(diarizer.timeline()->speakers().at(0)->name(), "Ann");
    EXPECT_EQ(diarizer.numFramesProcessed(), 0);
    EXPECT_FALSE(diarizer.timeline()->hasSegments());
    EXPECT_EQ(diarizer.process(speech(static_cast<std::size_t>(samplesPerChunk())), std::nullopt)
                  ->chunkResult.finalizedFrameCount,
              1)
        << "the warm-up starts again";
}

TEST_F(LSEENDEnrolmentTest, ANamedSlotIsRenamedOnlyWhenOverwriting) {
    diarizer.timeline()->upsertSpeaker("Cid", 1);
    const auto audio = speech(samplesFor(2));
    const auto frames = diarizer.numFramesProcessed();
    EXPECT_FALSE(diarizer.enrollSpeaker(audio, std::nullopt, "Bob", false));
    EXPECT_EQ(diarizer.numFramesProcessed(), frames);
    EXPECT_EQ(diarizer.timeline()->speakers().at(0)->name(), "Ann");

    const auto speaker = diarizer.enrollSpeaker(audio, std::nullopt, "Bob", true);
    ASSERT_TRUE(speaker);
    EXPECT_EQ(speaker->index(), 0);
    EXPECT_EQ(diarizer.timeline()->speakers().at(0)->name(), "Bob");
    EXPECT_EQ(diarizer.timeline()->speakers().at(1)->name(), "Cid");
}

TEST_F(LSEENDEnrolmentTest, AFailedAttemptLeavesProviderTimelineAndCounterAsTheyWere) {
    diarizer.timeline()->upsertSpeaker("Cid", 1);
    EXPECT_FALSE(diarizer.enrollSpeaker(speech(samplesFor(2)), std::nullopt, "Bob", false));
    model.slotProbabilities = {0.0f, 0.0f, 0.0f};
    EXPECT_FALSE(diarizer.enrollSpeaker(speech(samplesFor(2)), std::nullopt, "Bob", true)) << "no speech";
    model.slotProbabilities = {0.9f, 0.7f, 0.0f};
    expectStreamAsBefore({{0, "Ann"}, {1, "Cid"}});

    diarizer.reset();
    model.slotProbabilities = {0.0f, 0.0f, 0.0f};
    EXPECT_FALSE(diarizer.enrollSpeaker(speech(samplesFor(2)), std::nullopt, std::nullopt, false));
    EXPECT_EQ(diarizer.process(speech(samplesFor(1)), std::nullopt)->chunkResult.finalizedFrameCount, 1)
        << "a new stream still starts with its warm-up";
}

TEST_F(LSEENDEnrolmentTest, AnErrorWhileEnrollingRollsEverythingBackThenPropagates) {
    for (const std::size_t failing : {1u, 3u}) {
        const auto calls = model.kernel.calls().size();
        model.beforePrediction = [calls, failing](std::size_t index) {
            if (index == calls + failing - 1) {
                throw std::runtime_error("prediction failed");
            }
        };
        EXPECT_THROW(diarizer.enrollSpeaker(speech(samplesFor(2)), std::nullopt, "Bob", false), std::runtime_error)
            << failing;
    }
    model.beforePrediction = {};
    expectStreamAsBefore({{0, "Ann"}, {1, std::nullopt}});
}

} // namespace
} // namespace quorl
