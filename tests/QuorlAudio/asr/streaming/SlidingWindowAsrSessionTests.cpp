#include "QuorlAudio/asr/streaming/SlidingWindowAsrSession.hpp"

#include "QuorlAudio/asr/batch/AsrModelVersion.hpp"
#include "QuorlAudio/asr/streaming/SlidingWindowAsrError.hpp"
#include "QuorlAudio/asr/streaming/StreamingUnifiedAsrManager.hpp"
#include "QuorlAudio/asr/streaming/UnifiedAsrManager.hpp"
#include "StreamingTestAudio.hpp"
#include "UnifiedTestModels.hpp"
#include "tests/QuorlAudio/asr/batch/AsrManagerTestModels.hpp"
#include "tests/QuorlAudio/models/ModelHubTest.hpp"
#include "tests/support/ModelBundleWriter.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

namespace quorl::testing {
namespace {

using V = StreamingModelVariant;
constexpr int second = 16000;

class SlidingWindowAsrSessionTest : public ModelHubTest {
protected:
    SlidingWindowAsrSessionTest() { environment.set("TDT_EMISSION_DELAY_FRAMES", std::nullopt); }

    // The scripted v3 set in the default cache folder, so the session finds it without downloading. Every window
    // answers "one" at its frame 10 and "two" at its frame 40.
    void cacheTransducerModels() {
        const auto manifests = transducer.manifests(AsrModelVersion::v3);
        const auto folder = AsrModels::defaultCacheDirectory(AsrModelVersion::v3);
        testsupport::writeModelBundle(folder, preprocessorFileName(AsrModelVersion::v3), manifests.preprocessor);
        testsupport::writeModelBundle(folder, *encoderFileName(AsrModelVersion::v3, ParakeetEncoderPrecision::int8),
                                      *manifests.encoder);
        testsupport::writeModelBundle(folder, decoderFileName(AsrModelVersion::v3), manifests.decoder);
        testsupport::writeModelBundle(folder, jointFileName(AsrModelVersion::v3), manifests.joint);
        std::ofstream(folder / vocabularyFileName(AsrModelVersion::v3)) << R"({"1": "\u2581one", "2": "\u2581two"})";
        transducer.jointAnswers = {{10, JointAnswer{.token = 1}}, {40, JointAnswer{.token = 2}}};
    }

    std::vector<std::string> sessionLines() const { return logLines(sink, "SlidingWindowSession"); }

    std::size_t count(const std::string& line) const {
        return static_cast<std::size_t>(std::ranges::count(sessionLines(), line));
    }

    AsrManagerTestModels transducer;
    SlidingWindowAsrSession session;
};

TEST_F(SlidingWindowAsrSessionTest, TwoSourcesRunAtOnceOnModelsLoadedOnce) {
    cacheTransducerModels();
    const auto microphone = session.createStream(AudioSource::microphone, SlidingWindowAsrConfig::streaming());
    const auto system = session.createStream(AudioSource::system, SlidingWindowAsrConfig::streaming());
    ASSERT_NE(microphone, system);
    EXPECT_EQ(microphone->source(), AudioSource::microphone);
    EXPECT_EQ(system->source(), AudioSource::system);
    const auto microphoneUpdates = microphone->transcriptionUpdates();
    const auto systemUpdates = system->transcriptionUpdates();

    streamRange(*system, 0, 4 * second);
    streamRange(*microphone, 0, 2 * second);
    EXPECT_EQ(microphone->finish(), "one");
    EXPECT_EQ(system->finish(), "one two");
    const auto heard = drained(microphoneUpdates);
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0].text, "one");
    EXPECT_EQ(drained(systemUpdates).at(0).text, "one two");

    EXPECT_EQ(session.activeStreams(),
              (SlidingWindowAsrSession::Streams{{AudioSource::microphone, microphone}, {AudioSource::system, system}}));
    EXPECT_EQ(count("Loading ASR models for session..."), 1u);
    EXPECT_EQ(count("Creating new stream for source: system"), 1u);
    EXPECT_TRUE(hub.requests().empty());
}

TEST_F(SlidingWindowAsrSessionTest, ASecondStreamForASourceIsTheFirstWhateverItsConfiguration) {
    cacheTransducerModels();
    session.loadModels();
    session.loadModels();
    const auto first = session.createStream(AudioSource::microphone, SlidingWindowAsrConfig::streaming());
    const auto again = session.createStream(
        AudioSource::microphone, SlidingWindowAsrConfig::custom({.chunkDuration = 12.0, .confirmationThreshold = 0.8}));
    EXPECT_EQ(again, first);
    EXPECT_EQ(sessionLines(), (std::vector<std::string>{
                                  "Created new SlidingWindowAsrSession",
                                  "Loading ASR models for session...",
                                  "ASR models loaded successfully",
                                  "Models already loaded, skipping initialization",
                                  "Models already loaded, skipping initialization",
                                  "Creating new stream for source: microphone",
                                  "Stream already exists for source: microphone. Returning existing stream.",
                              }));
}

TEST_F(SlidingWindowAsrSessionTest, AStreamThatCannotStartOrLoadIsNeverRegistered) {
    EXPECT_ANY_THROW(session.createStream(AudioSource::microphone, SlidingWindowAsrConfig::streaming()));
    EXPECT_EQ(session.getStream(AudioSource::microphone), nullptr);
    EXPECT_EQ(count("ASR models loaded successfully"), 0u);

    cacheTransducerModels();
    try {
        session.createStream(AudioSource::system,
                             SlidingWindowAsrConfig::custom({.chunkDuration = 12.0, .confirmationThreshold = 0.8}));
        FAIL() << "created";
    } catch (const SlidingWindowAsrError& error) {
        EXPECT_EQ(error.kind(), SlidingWindowAsrError::Kind::invalidConfiguration);
    }
    EXPECT_TRUE(session.activeStreams().empty());
}

TEST_F(SlidingWindowAsrSessionTest, ARemovedStreamGoesOnForWhoeverHoldsIt) {
    cacheTransducerModels();
    const auto stream = session.createStream(AudioSource::microphone, SlidingWindowAsrConfig::streaming());
    session.removeStream(AudioSource::system);
    session.removeStream(AudioSource::microphone);
    session.removeStream(AudioSource::microphone);
    EXPECT_EQ(session.getStream(AudioSource::microphone), nullptr);
    EXPECT_EQ(count("Removed stream for source: microphone"), 1u);
    EXPECT_EQ(count("Removed stream for source: system"), 0u);
    streamRange(*stream, 0, 2 * second);
    EXPECT_EQ(stream->finish(), "one");
}

TEST_F(SlidingWindowAsrSessionTest, EachSourceKeepsTheEngineItWasFirstGiven) {
    UnifiedTestModels unified;
    serveFolder(Repo::parakeetUnified, unified.folder());
    const auto microphone = session.createEngine(V::parakeetUnified2080ms, AudioSource::microphone);
    const auto again = session.createEngine(V::parakeetUnifiedOffline15s, AudioSource::microphone);
    const auto system = session.createEngine(V::parakeetUnifiedOffline15s, AudioSource::system);
    EXPECT_EQ(again, microphone);
    EXPECT_NE(dynamic_cast<StreamingUnifiedAsrManager*>(microphone.get()), nullptr);
    EXPECT_NE(dynamic_cast<UnifiedAsrManager*>(system.get()), nullptr);
    EXPECT_EQ(session.getEngine(AudioSource::system), system);

    unified.script(0, 1, {3});
    system->appendAudio(*monoBuffer(std::vector<float>(second, 0.1f)));
    EXPECT_EQ(system->finish(), "world");
    EXPECT_EQ(microphone->getPartialTranscript(), "");

    session.removeEngine(AudioSource::system);
    session.removeEngine(AudioSource::system);
    EXPECT_EQ(session.getEngine(AudioSource::system), nullptr);
    EXPECT_EQ(system->getPartialTranscript(), "world");
    EXPECT_EQ(sessionLines(), (std::vector<std::string>{
                                  "Created new SlidingWindowAsrSession",
                                  "Creating Parakeet Unified 0.6B (2080ms) engine for source: microphone",
                                  "Engine already exists for source: microphone. Returning existing engine.",
                                  "Creating Parakeet Unified 0.6B (offline 15s batch) engine for source: system",
                                  "Removed engine for source: system",
                              }));
    EXPECT_ANY_THROW(session.createEngine(V::nemotron560ms, AudioSource::system));
    EXPECT_EQ(session.getEngine(AudioSource::system), nullptr);
}

TEST_F(SlidingWindowAsrSessionTest, CleanupCancelsStreamsResetsEnginesAndForgetsTheModels) {
    cacheTransducerModels();
    UnifiedTestModels unified;
    serveFolder(Repo::parakeetUnified, unified.folder());
    const auto stream = session.createStream(AudioSource::microphone, SlidingWindowAsrConfig::streaming());
    const auto updates = stream->transcriptionUpdates();
    const auto engine = session.createEngine(V::parakeetUnifiedOffline15s, AudioSource::system);
    unified.script(0, 1, {3});
    engine->appendAudio(*monoBuffer(std::vector<float>(second, 0.1f)));
    ASSERT_EQ(engine->finish(), "world");

    session.cleanup();
    EXPECT_TRUE(drained(updates).empty());
    EXPECT_EQ(stream->finish(), "");
    EXPECT_EQ(engine->getPartialTranscript(), "");
    for (const auto source : {AudioSource::microphone, AudioSource::system}) {
        EXPECT_EQ(session.getStream(source), nullptr);
        EXPECT_EQ(session.getEngine(source), nullptr);
    }
    const auto lines = sessionLines();
    EXPECT_EQ(
        std::vector<std::string>(lines.end() - 4, lines.end()),
        (std::vector<std::string>{"Cleaning up SlidingWindowAsrSession...", "Cancelled stream for source: microphone",
                                  "Reset engine for source: system", "SlidingWindowAsrSession cleanup complete"}));

    // The engine keeps its models; the session loads its own again.
    engine->appendAudio(*monoBuffer(std::vector<float>(second, 0.1f)));
    unified.script(1, 1, {1});
    EXPECT_EQ(engine->finish(), "he");
    session.createStream(AudioSource::microphone, SlidingWindowAsrConfig::streaming());
    EXPECT_EQ(count("Loading ASR models for session..."), 2u);
}

} // namespace
} // namespace quorl::testing
