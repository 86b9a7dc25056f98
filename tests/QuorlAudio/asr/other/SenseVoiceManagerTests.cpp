#include "tests/QuorlAudio/asr/other/SenseVoiceTestModels.hpp"

#include "QuorlAudio/asr/other/SenseVoiceManager.hpp"

#include "platform/ml/DataType.hpp"
#include "tests/support/ErrorText.hpp"
#include "tests/support/HubEnvironment.hpp"
#include "tests/support/LoopbackHub.hpp"
#include "tests/support/MultiArrayValues.hpp"
#include "tests/support/RecordingLogSink.hpp"
#include "tests/support/ScopedEnvironment.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <gtest/gtest.h>

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace quorl {
namespace {

using platform::ml::DataType;
using testsupport::errorText;
using testsupport::ScriptedKernel;

constexpr std::size_t featureDim = 560;

std::vector<std::size_t> shapeOf(const ScriptedKernel::Call& call, const std::string& name) {
    return call.inputs.at(name).multiArrayValue()->shape();
}

double valueOf(const ScriptedKernel::Call& call, const std::string& name, std::size_t index = 0) {
    return call.inputs.at(name).multiArrayValue()->value(index);
}

class SenseVoiceManagerTests : public ::testing::Test {
protected:
    SenseVoiceManager manager() { return SenseVoiceManager(models.modelSet(), 7, 14); }

    testsupport::RecordingLogSink log;
    SenseVoiceTestModels models{{{1, "<|zh|>"},
                                 {2, "<|NEUTRAL|>"},
                                 {3, "\u2581hello"},
                                 {4, "<|Speech|>"},
                                 {5, "\u2581a"},
                                 {6, "\u2581<|woitn|>"},
                                 {7, "b"},
                                 {8, "\u2581world"}}};
};

TEST_F(SenseVoiceManagerTests, ThePreprocessorGetsTheScaledWaveformAndTheEncoderItsFramesInABucketWithThePrompt) {
    models.featureFrames = 100;
    auto recogniser = manager();
    recogniser.transcribe(std::vector<float>{0.5f, -0.25f});

    const auto waveform = models.preprocessor.calls().at(0).inputs.at("waveform").multiArrayValue();
    EXPECT_EQ(waveform->shape(), (std::vector<std::size_t>{1, 2}));
    EXPECT_EQ(testsupport::valuesOf(*waveform), (std::vector<double>{16384.0, -8192.0}));
    const auto call = models.encoder.calls().at(0);
    EXPECT_EQ(shapeOf(call, "speech"), (std::vector<std::size_t>{1, 128, featureDim}));
    EXPECT_EQ(valueOf(call, "speech", 0), 1.0);
    EXPECT_EQ(valueOf(call, "speech", 99 * featureDim + featureDim - 1), 100.0);
    EXPECT_EQ(valueOf(call, "speech", 100 * featureDim), 0.0);
    EXPECT_EQ(valueOf(call, "speech_lengths"), 100.0);
    EXPECT_EQ(valueOf(call, "language"), 7.0);
    EXPECT_EQ(valueOf(call, "textnorm"), 14.0);
    for (const auto* name : {"speech_lengths", "language", "textnorm"}) {
        EXPECT_EQ(call.inputs.at(name).multiArrayValue()->dataType(), DataType::int32) << name;
    }
}

TEST_F(SenseVoiceManagerTests, FramesBeyondTheLimitAreCutWithOneWarning) {
    models.featureFrames = 2000;
    manager().transcribe(std::vector<float>(16, 0.0f));

    const auto call = models.encoder.calls().at(0);
    EXPECT_EQ(shapeOf(call, "speech"), (std::vector<std::size_t>{1, 1800, featureDim}));
    EXPECT_EQ(valueOf(call, "speech_lengths"), 1800.0);
    EXPECT_EQ(valueOf(call, "speech", 1799 * featureDim), 1800.0);
    EXPECT_EQ(log.messages("SenseVoiceManager"),
              std::vector<std::string>{"Audio exceeds max length; truncating 2000 \u2192 1800 frames"});
}

TEST_F(SenseVoiceManagerTests, ScoresAreCollapsedOverTheAudioFramesAndThePromptFramesOnly) {
    const struct {
        const char* name;
        std::size_t featureFrames;
        std::optional<std::size_t> scoreFrames;
        std::size_t scoreWidth;
        std::vector<int> bestIds;
        std::string text;
    } cases[] = {
        {"a repeat across a blank counts twice", 3, std::nullopt, 16, {0, 5, 5, 0, 5, 7, 7}, "a ab"},
        {"frames past T + 4 are not read", 3, 9, 16, {5, 0, 0, 0, 0, 0, 0, 8, 8}, "a"},
        {"the last valid frame is read", 3, 9, 16, {5, 0, 0, 0, 0, 0, 8, 0, 0}, "a world"},
        {"a shorter score tensor decodes its own frames", 3, 2, 16, {5, 7}, "ab"},
        {"a single-entry vocabulary emits nothing", 3, std::nullopt, 1, {0, 0}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        models.featureFrames = c.featureFrames;
        models.scoreFrames = c.scoreFrames;
        models.scoreWidth = c.scoreWidth;
        models.bestIds = c.bestIds;
        EXPECT_EQ(manager().transcribe(std::vector<float>(4, 0.0f)), c.text);
    }
}

TEST_F(SenseVoiceManagerTests, MarkersAndUnknownIdsVanishAndOnlyTheEndsAreTrimmed) {
    models.featureFrames = 8;
    models.bestIds = {1, 2, 3, 4, 9, 6, 8};
    EXPECT_EQ(manager().transcribe(std::vector<float>(4, 0.0f)), "hello  world");
}

TEST_F(SenseVoiceManagerTests, FeaturesAndScoresOfOtherElementTypesAreReadByValue) {
    models.featureFrames = 2;
    models.featureType = DataType::float16;
    models.scoreType = DataType::float64;
    models.bestIds = {5, 0, 7};
    EXPECT_EQ(manager().transcribe(std::vector<float>(4, 0.0f)), "ab");
    EXPECT_EQ(valueOf(models.encoder.calls().at(0), "speech", featureDim), 2.0);
}

TEST_F(SenseVoiceManagerTests, AMissingOutputFailsTheCallAndLeavesTheManagerUsable) {
    auto recogniser = manager();
    const std::vector<float> audio(4, 0.0f);
    models.omittedOutputs = {"features"};
    EXPECT_EQ(errorText([&] { recogniser.transcribe(audio); }),
              "ASR processing failed: SenseVoice preprocessor produced no `features`");
    models.omittedOutputs = {"ctc_logits"};
    EXPECT_EQ(errorText([&] { recogniser.transcribe(audio); }),
              "ASR processing failed: SenseVoice encoder produced no `ctc_logits`");
    models.omittedOutputs = {};
    models.bestIds = {3};
    EXPECT_EQ(recogniser.transcribe(audio), "hello");
}

TEST(SenseVoiceManagerLoadTests, LoadFetchesTheModelsAndUsesTheDefaultPrompt) {
    testsupport::ScopedEnvironment environment;
    testsupport::TemporaryFolder dataHome;
    environment.set("XDG_DATA_HOME", dataHome.path().string());
    testsupport::LoopbackHub hub;
    SenseVoiceTestModels models{{{3, "\u2581hello"}}};
    models.serve(hub);
    testsupport::useLoopbackHub(environment, hub);
    models.bestIds = {3};

    const auto recogniser = SenseVoiceManager::load(SenseVoiceEncoderPrecision::int8);
    EXPECT_EQ(recogniser->language(), 0);
    EXPECT_EQ(recogniser->textNorm(), 15);
    EXPECT_EQ(recogniser->transcribe(std::vector<float>(4, 0.0f)), "hello");
    EXPECT_EQ(models.encoder.loads().back().bundlePath.filename(), "SenseVoiceSmall_int8.mlmodelc");
}

} // namespace
} // namespace quorl
