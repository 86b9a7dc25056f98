#include "AsrManagerTestModels.hpp"

#include "QuorlAudio/asr/batch/ASRError.hpp"
#include "QuorlAudio/asr/batch/AsrManager.hpp"
#include "QuorlAudio/asr/batch/AsrWindowInference.hpp"
#include "QuorlAudio/foundation/MLArrayCache.hpp"

#include "platform/core/CancellationToken.hpp"
#include "platform/core/Task.hpp"
#include "platform/ml/DictionaryFeatureProvider.hpp"
#include "platform/ml/FeatureValue.hpp"
#include "platform/ml/MultiArray.hpp"
#include "tests/support/ErrorText.hpp"
#include "tests/support/RecordingLogSink.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace quorl {
namespace {

using platform::ml::DataType;
using testsupport::errorText;

const std::vector<std::size_t> windowShape{1, 240000};

std::set<std::string> namesOf(const testsupport::ScriptedKernel::Call& call) {
    std::set<std::string> names;
    for (const auto& [name, value] : call.inputs) {
        names.insert(name);
    }
    return names;
}

// Leaves exactly one window input array in the shared pool, after any background work of the recognisers, and
// returns it.
std::shared_ptr<platform::ml::MultiArray> poolWithOneWindowArray() {
    finishSharedPoolJobs();
    sharedMLArrayCache().clear();
    auto array = sharedMLArrayCache().getArray(windowShape, DataType::float32);
    sharedMLArrayCache().returnArray(array);
    return array;
}

// What a test chooses of a window's decoding.
struct WindowChoices {
    std::optional<Language> language = std::nullopt;
    std::optional<int> emitTokensAfterGlobalFrame = std::nullopt;
    std::optional<int> initialTimeIndexOverride = std::nullopt;
};

class AsrManagerInferenceTest : public ::testing::Test {
protected:
    AsrManagerInferenceTest() { models_.jointAnswers = {{2, {.token = 5}}, {3, {.token = 6}}}; }

    std::shared_ptr<AsrManager> manager(AsrModelVersion version = AsrModelVersion::v3) {
        return AsrManager::create(ASRConfig(), models_.modelSet(version, vocabulary_));
    }

    // One full-length window of 16000 valid samples, not the last of its stream.
    AsrWindowInference::InferenceResult runWindow(AsrManager& manager, const WindowChoices& choices = {}) {
        state_ = TdtDecoderState::make(manager.windowInference().decoderLayerCount());
        const std::vector<float> samples(240000, 0.1f);
        return manager.windowInference().executeMLInferenceWithTimings({
            .samples = samples,
            .originalLength = 16000,
            .context = {.decoderState = state_,
                        .contextFrameAdjustment = 0,
                        .isLastChunk = false,
                        .globalFrameOffset = 0,
                        .language = choices.language,
                        .emitTokensAfterGlobalFrame = choices.emitTokensAfterGlobalFrame,
                        .initialTimeIndexOverride = choices.initialTimeIndexOverride},
        });
    }

    // Predictions of either preprocessor.
    std::size_t frontEndCalls() const {
        return models_.preprocessor.calls().size() + models_.fusedPreprocessor.calls().size();
    }

    AsrManagerTestModels models_;
    AsrManagerTestModels::Vocabulary vocabulary_{{5, "\u2581\u043f\u0440\u0438"}, {6, "\u2581hello"}};
    TdtDecoderState state_ = TdtDecoderState::make(2);
};

TEST(AsrManagerFrameAlignment, PadsToWholeFramesWithinOneWindow) {
    const struct {
        std::size_t samples;
        bool allowAlignment;
        int expectedLength;
    } cases[] = {
        {1000, true, 1280},     {1000, false, 1000},    {2560, true, 2560},
        {239361, true, 239361}, {239000, true, 239360}, {0, true, 0},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.samples);
        const auto aligned =
            AsrWindowInference::frameAlignedAudio(std::vector<float>(testCase.samples, 0.5f), testCase.allowAlignment);

        EXPECT_EQ(aligned.frameAlignedLength, testCase.expectedLength);
        ASSERT_EQ(aligned.samples.size(), static_cast<std::size_t>(testCase.expectedLength));
        EXPECT_TRUE(std::all_of(aligned.samples.begin(), aligned.samples.begin() + static_cast<long>(testCase.samples),
                                [](float sample) { return sample == 0.5f; }));
        EXPECT_TRUE(std::all_of(aligned.samples.begin() + static_cast<long>(testCase.samples), aligned.samples.end(),
                                [](float sample) { return sample == 0.0f; }));
    }
}

TEST(AsrManagerWindowLength, ValidLengthSetsTheAudioLengthAndTheFramesDecoded) {
    const struct {
        std::optional<int> originalLength;
        std::optional<int> actualAudioFrames;
        double audioLength;
        int lastFrame;
    } cases[] = {{16000, std::nullopt, 16000, 12}, {std::nullopt, std::nullopt, 240000, 187}, {16000, 5, 16000, 4}};
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.audioLength);
        AsrManagerTestModels models;
        const auto recogniser = AsrManager::create(ASRConfig(), models.modelSet(AsrModelVersion::v3));
        TdtDecoderState state = TdtDecoderState::make(2);

        const std::vector<float> samples(240000, 0.1f);
        const auto result = recogniser->windowInference().executeMLInferenceWithTimings({
            .samples = samples,
            .originalLength = testCase.originalLength,
            .actualAudioFrames = testCase.actualAudioFrames,
            .context =
                {.decoderState = state, .contextFrameAdjustment = 0, .isLastChunk = false, .globalFrameOffset = 0},
        });

        const auto input = models.preprocessor.calls().at(0).inputs;
        const auto& signal = *input.at("audio_signal").multiArrayValue();
        EXPECT_EQ(input.at("audio_length").multiArrayValue()->value(0), testCase.audioLength);
        EXPECT_FLOAT_EQ(static_cast<float>(signal.value(0)), 0.1f);
        EXPECT_FLOAT_EQ(static_cast<float>(signal.value(239999)), 0.1f);
        EXPECT_EQ(models.jointFrames().back(), testCase.lastFrame);
        EXPECT_EQ(result.encoderSequenceLength, AsrManagerTestModels::encoderFrames);
    }
}

TEST(AsrManagerFeatureExtraction, GivesTheNamedArrayOrFailsWithTheMessage) {
    const auto encoder =
        std::make_shared<platform::ml::MultiArray>(platform::ml::MultiArray::Shape{1, 4}, DataType::float32);
    const platform::ml::DictionaryFeatureProvider provider(
        {{"encoder", platform::ml::FeatureValue(encoder)}, {"name", platform::ml::FeatureValue(std::string("x"))}});

    EXPECT_EQ(AsrWindowInference::extractFeatureValue(provider, "encoder", "unused"), encoder);
    for (const std::string key : {"name", "absent"}) {
        SCOPED_TRACE(key);
        EXPECT_EQ(errorText([&] { AsrWindowInference::extractFeatureValue(provider, key, "Invalid encoder output"); }),
                  "ASR processing failed: Invalid encoder output");
    }
}

TEST_F(AsrManagerInferenceTest, SplitFrontEndDecodesTheEncoderOutputAndUpdatesTheState) {
    const auto recogniser = manager();

    const auto result = runWindow(*recogniser);

    EXPECT_EQ(result.hypothesis.ySequence, (std::vector<int>{5, 6}));
    EXPECT_EQ(result.hypothesis.timestamps, (std::vector<int>{2, 3}));
    EXPECT_EQ(state_.lastToken, 6);
    EXPECT_EQ(models_.encoder.calls().size(), 1u);
    EXPECT_TRUE(models_.fusedPreprocessor.calls().empty());
}

TEST_F(AsrManagerInferenceTest, FusedSetSendsThePreprocessorOutputToTheDecoder) {
    models_.jointAnswers = {{2, {.token = 5}}};
    const auto recogniser = manager(AsrModelVersion::tdtCtc110m);
    EXPECT_EQ(recogniser->windowInference().decoderLayerCount(), 1);

    // The decoder needs the version's blank (1024) and encoder width (512) to get this far and this result.
    const auto result = runWindow(*recogniser);

    EXPECT_EQ(result.hypothesis.ySequence, std::vector<int>{5});
    EXPECT_EQ(models_.fusedPreprocessor.calls().size(), 1u);
    EXPECT_TRUE(models_.encoder.calls().empty());
}

TEST_F(AsrManagerInferenceTest, OnlyV3DecodesWithTheLanguageVocabularyEmitThresholdAndStartFrame) {
    // Token 5 is Cyrillic; the English hint makes the v3 decoder take the Latin token 6 from the top-K list.
    const std::string ignoredHint =
        "Ignoring `language` hint: script filtering requires the v3 joint decoder; loaded model is ";
    const struct {
        AsrModelVersion version;
        std::optional<Language> language;
        std::optional<int> emitAfter;
        std::optional<int> startFrame;
        std::vector<int> tokens;
        std::vector<std::string> logLines;
    } cases[] = {
        {AsrModelVersion::v3, Language::english, std::nullopt, std::nullopt, {6}, {}},
        {AsrModelVersion::v3, std::nullopt, 40, std::nullopt, {}, {}},
        {AsrModelVersion::v3, std::nullopt, std::nullopt, 3, {}, {}},
        {AsrModelVersion::v2, Language::english, std::nullopt, std::nullopt, {5}, {ignoredHint + "v2."}},
        {AsrModelVersion::v2, std::nullopt, 40, 3, {5}, {}},
        {AsrModelVersion::tdtCtc110m,
         Language::english,
         std::nullopt,
         std::nullopt,
         {5},
         {ignoredHint + "tdtCtc110m."}},
        {AsrModelVersion::tdtJa,
         Language::english,
         std::nullopt,
         std::nullopt,
         {5},
         {"Ignoring `language` hint for tdtJa: TokenLanguageFilter currently supports Latin/Cyrillic only; Japanese "
          "output is always kept."}},
        {AsrModelVersion::tdtJa, std::nullopt, 40, 3, {5}, {}},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(description(testCase.version));
        models_.jointAnswers = {{2, {.token = 5, .probability = 0.6f, .topKIds = {5, 6}, .topKLogits = {2.0f, 1.0f}}}};
        const auto recogniser = manager(testCase.version);
        const testsupport::RecordingLogSink sink;

        const auto result = runWindow(*recogniser, {.language = testCase.language,
                                                    .emitTokensAfterGlobalFrame = testCase.emitAfter,
                                                    .initialTimeIndexOverride = testCase.startFrame});

        EXPECT_EQ(result.hypothesis.ySequence, testCase.tokens);
        EXPECT_EQ(sink.messages("ASR", platform::sys::LogType::debug), testCase.logLines);
    }
}

TEST_F(AsrManagerInferenceTest, EncoderInputsComeFromThePreprocessorOutputElseItsInput) {
    const auto recogniser = manager();

    runWindow(*recogniser);
    EXPECT_EQ(namesOf(models_.encoder.calls().back()), (std::set<std::string>{"mel", "mel_frames", "mel_length"}));

    recogniser->windowInference().setEncoderModel(models_.loadEncoder({"mel", "audio_length"}));
    runWindow(*recogniser);
    const auto fallback = models_.encoder.calls().back();
    EXPECT_EQ(namesOf(fallback), (std::set<std::string>{"audio_length", "mel"}));
    EXPECT_EQ(fallback.inputs.at("audio_length").multiArrayValue()->value(0), 16000);

    recogniser->windowInference().setEncoderModel(models_.loadEncoder({"mel", "speaker"}));
    EXPECT_EQ(errorText([&] { runWindow(*recogniser); }),
              "ASR processing failed: Missing required encoder input: speaker. Available inputs: mel, mel_frames, "
              "mel_length, fallback inputs: audio_length, audio_signal");
}

TEST_F(AsrManagerInferenceTest, TheWindowInputGoesBackToThePoolOnEveryPath) {
    const auto failingPreprocessor = std::make_exception_ptr(std::runtime_error("boom"));
    const struct {
        const char* name;
        AsrModelVersion version;
        std::function<void(AsrManager&)> prepare;
        std::string error;
        std::size_t frontEndCalls;
    } cases[] = {
        {"decoded", AsrModelVersion::v3, [](AsrManager&) {}, "nothing thrown", 1},
        {"preprocessor fails", AsrModelVersion::v3,
         [&](AsrManager&) { models_.preprocessor.failPredictionsWith(failingPreprocessor); }, "boom", 1},
        {"no preprocessor", AsrModelVersion::v3,
         [](AsrManager& manager) { manager.windowInference().setPreprocessorModel(nullptr); },
         "AsrManager not initialized. Call initialize() first.", 0},
        {"after cleanup", AsrModelVersion::v3, [](AsrManager& manager) { manager.cleanup(); },
         "AsrManager not initialized. Call initialize() first.", 0},
        {"no joint after the front end ran", AsrModelVersion::v3,
         [](AsrManager& manager) { manager.windowInference().setJointModel(nullptr); },
         "AsrManager not initialized. Call initialize() first.", 1},
        {"encoder output missing", AsrModelVersion::v3,
         [&](AsrManager&) { models_.omittedEncoderOutputs = {"encoder"}; },
         "ASR processing failed: Invalid encoder output", 1},
        {"encoder length missing", AsrModelVersion::v3,
         [&](AsrManager&) { models_.omittedEncoderOutputs = {"encoder_length"}; },
         "ASR processing failed: Invalid encoder output length", 1},
        {"fused encoder length missing", AsrModelVersion::tdtCtc110m,
         [&](AsrManager&) { models_.omittedEncoderOutputs = {"encoder_length"}; },
         "ASR processing failed: Invalid encoder output length", 1},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        models_.omittedEncoderOutputs.clear();
        models_.preprocessor.failPredictionsWith(nullptr);
        const auto recogniser = manager(testCase.version);
        testCase.prepare(*recogniser);
        const auto frontEndCallsBefore = frontEndCalls();
        const auto pooled = poolWithOneWindowArray();

        EXPECT_EQ(errorText([&] { runWindow(*recogniser); }), testCase.error);

        EXPECT_EQ(frontEndCalls() - frontEndCallsBefore, testCase.frontEndCalls);
        EXPECT_EQ(sharedMLArrayCache().getArray(windowShape, DataType::float32), pooled);
    }
    const auto recogniser = manager();
    const auto pooled = poolWithOneWindowArray();
    platform::core::CancellationSource cancelled;
    cancelled.cancel();
    const platform::core::Task::Scope scope(cancelled.token());
    EXPECT_EQ(errorText([&] { runWindow(*recogniser); }), platform::core::CancellationError().what());
    EXPECT_EQ(sharedMLArrayCache().getArray(windowShape, DataType::float32), pooled);
}

} // namespace
} // namespace quorl
