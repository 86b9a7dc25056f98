#include "QuorlAudio/asr/batch/ASRError.hpp"
#include "QuorlAudio/asr/batch/TdtDecoderV3.hpp"
#include "QuorlAudio/foundation/MultiArrayReset.hpp"

#include "platform/core/CancellationToken.hpp"
#include "platform/core/Task.hpp"
#include "tests/support/ModelBundleWriter.hpp"
#include "tests/support/MultiArrayValues.hpp"
#include "tests/support/ScriptedKernel.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <unordered_map>
#include <vector>

namespace quorl {
namespace {

using platform::ml::DataType;
using platform::ml::FeatureValue;
using platform::ml::MultiArray;
using testsupport::makeArray;
using testsupport::ScriptedKernel;
using testsupport::valuesOf;

constexpr const char* decoderKernelName = "tdt-decoder-v3-tests-decoder";
constexpr const char* jointKernelName = "tdt-decoder-v3-tests-joint";
constexpr std::size_t hiddenSize = 4;
constexpr std::size_t decoderLayers = 2;
constexpr std::size_t projectionSize = 640;
constexpr int blank = 8192;

// One joint answer: a token, its duration class (an index into the duration bins) and probability, and
// optionally top-K lists.
struct Answer {
    int token = blank;
    int durationClass = 1;
    float probability = 0.9f;
    std::vector<int> topKIds = {};
    std::vector<float> topKLogits = {};
};

Answer token(int id, int durationClass, float probability = 0.9f) {
    return Answer{.token = id, .durationClass = durationClass, .probability = probability};
}

Answer blankFor(int durationClass) { return Answer{.durationClass = durationClass}; }

// What the joint model answers at each frame, in the order the frame is asked (the last answer repeats);
// frames without answers get `otherwise`.
struct JointScript {
    std::map<int, std::vector<Answer>> frames = {};
    Answer otherwise = blankFor(1);
};

// A recorded token: its id, global frame and duration.
struct Token {
    int id;
    int frame;
    int duration;

    bool operator==(const Token&) const = default;
};

std::ostream& operator<<(std::ostream& stream, const Token& token) {
    return stream << "{" << token.id << ", " << token.frame << ", " << token.duration << "}";
}

std::vector<Token> tokensOf(const TdtHypothesis& hypothesis) {
    EXPECT_EQ(hypothesis.timestamps.size(), hypothesis.ySequence.size());
    EXPECT_EQ(hypothesis.tokenDurations.size(), hypothesis.ySequence.size());
    EXPECT_EQ(hypothesis.tokenConfidences.size(), hypothesis.ySequence.size());
    std::vector<Token> tokens;
    for (std::size_t index = 0; index < hypothesis.ySequence.size(); ++index) {
        tokens.push_back({hypothesis.ySequence[index], hypothesis.timestamps[index], hypothesis.tokenDurations[index]});
    }
    return tokens;
}

// The arguments of one window besides the models and the state.
struct Window {
    // The encoder output's time dimension, and by default its sequence length and audio frames.
    int frames = 10;
    std::optional<int> sequenceLength = std::nullopt;
    std::optional<int> audioFrames = std::nullopt;
    int contextFrameAdjustment = 0;
    bool isLastChunk = false;
    int globalFrameOffset = 0;
    std::optional<Language> language = std::nullopt;
    std::optional<int> emitTokensAfterGlobalFrame = std::nullopt;
    std::optional<int> initialTimeIndexOverride = std::nullopt;
};

double firstValue(const ScriptedKernel::Call& call, const std::string& name) {
    return call.inputs.at(name).multiArrayValue()->value(0);
}

// Scripted decoder and joint models. The encoder output holds its frame number in every value, so the joint
// model knows the frame it is shown; the decoder's projection holds the label it was given, and it adds 1 to
// the hidden state (counting its runs) and writes the label into the cell state.
class TdtDecoderV3Test : public ::testing::Test {
protected:
    TdtDecoderV3Test()
        : decoderKernel_(decoderKernelName, [this](const ScriptedKernel::Call& call) { return runDecoder(call); }),
          jointKernel_(jointKernelName, [this](const ScriptedKernel::Call& call) { return runJoint(call); }),
          decoderModel_(platform::ml::Model::load(
              testsupport::writeModelBundle(folder_.path(), "Decoder.mlmodelc", decoderManifest()))),
          jointModel_(platform::ml::Model::load(
              testsupport::writeModelBundle(folder_.path(), "Joint.mlmodelc", jointManifest()))) {
        config_.encoderHiddenSize = static_cast<int>(hiddenSize);
    }

    static nlohmann::json decoderManifest() {
        using testsupport::multiArrayFeature;
        const std::vector<std::size_t> recurrent{decoderLayers, 1, projectionSize};
        return testsupport::modelManifest(decoderKernelName,
                                          {multiArrayFeature("targets", {1, 1}, DataType::int32),
                                           multiArrayFeature("target_length", {1}, DataType::int32),
                                           multiArrayFeature("h_in", recurrent), multiArrayFeature("c_in", recurrent)},
                                          {multiArrayFeature("decoder", {1, 1, projectionSize}),
                                           multiArrayFeature("h_out", recurrent),
                                           multiArrayFeature("c_out", recurrent)});
    }

    static nlohmann::json jointManifest() {
        using testsupport::multiArrayFeature;
        return testsupport::modelManifest(jointKernelName,
                                          {multiArrayFeature("encoder_step", {1, hiddenSize, 1}),
                                           multiArrayFeature("decoder_step", {1, projectionSize, 1})},
                                          {multiArrayFeature("token_id", {1, 1, 1}, DataType::int32),
                                           multiArrayFeature("token_prob", {1, 1, 1}),
                                           multiArrayFeature("duration", {1, 1, 1}, DataType::int32)});
    }

    ScriptedKernel::Outputs runDecoder(const ScriptedKernel::Call& call) const {
        const double label = firstValue(call, "targets");
        auto hidden = valuesOf(*call.inputs.at("h_in").multiArrayValue());
        for (double& value : hidden) {
            value += 1;
        }
        const std::vector<std::size_t> recurrent{decoderLayers, 1, projectionSize};
        ScriptedKernel::Outputs outputs{
            {"h_out", FeatureValue(makeArray(recurrent, hidden))},
            {"c_out", FeatureValue(makeArray(recurrent, std::vector<double>(hidden.size(), label)))},
        };
        if (!omitProjection_) {
            outputs.emplace(
                "decoder", FeatureValue(makeArray({1, 1, projectionSize}, std::vector<double>(projectionSize, label))));
        }
        return outputs;
    }

    ScriptedKernel::Outputs runJoint(const ScriptedKernel::Call& call) {
        const int frame = static_cast<int>(firstValue(call, "encoder_step"));
        if (onJoint_) {
            onJoint_(frame);
        }
        const auto answers = script_.frames.find(frame);
        Answer answer = script_.otherwise;
        if (answers != script_.frames.end()) {
            const std::size_t asked = timesAsked_[frame]++;
            answer = answers->second[std::min(asked, answers->second.size() - 1)];
        }
        ScriptedKernel::Outputs outputs{
            {"token_id", FeatureValue(makeArray({1, 1, 1}, {static_cast<double>(answer.token)}, DataType::int32))},
            {"token_prob", FeatureValue(makeArray({1, 1, 1}, {answer.probability}))},
            {"duration",
             FeatureValue(makeArray({1, 1, 1}, {static_cast<double>(answer.durationClass)}, DataType::int32))},
        };
        if (!answer.topKIds.empty()) {
            std::vector<double> ids(answer.topKIds.begin(), answer.topKIds.end());
            std::vector<double> logits(answer.topKLogits.begin(), answer.topKLogits.end());
            outputs.emplace("top_k_ids", FeatureValue(makeArray({ids.size()}, ids, DataType::int32)));
            outputs.emplace("top_k_logits", FeatureValue(makeArray({logits.size()}, logits)));
        }
        return outputs;
    }

    void script(JointScript script) {
        script_ = std::move(script);
        timesAsked_.clear();
    }

    // An encoder output [1, H, frames] whose every value is its frame number.
    static std::shared_ptr<MultiArray> encoderOutput(int frames) {
        std::vector<double> values;
        for (std::size_t hidden = 0; hidden < hiddenSize; ++hidden) {
            for (int frame = 0; frame < frames; ++frame) {
                values.push_back(frame);
            }
        }
        return makeArray({1, hiddenSize, static_cast<std::size_t>(frames)}, values);
    }

    TdtHypothesis decode(TdtDecoderState& state, const Window& window) {
        const int sequenceLength = window.sequenceLength.value_or(window.frames);
        const TdtDecoderV3 decoder(config_);
        return decoder.decodeWithTimings({
            .encoderOutput = encoderOutput(window.frames),
            .encoderSequenceLength = sequenceLength,
            .actualAudioFrames = window.audioFrames.value_or(sequenceLength),
            .decoderModel = *decoderModel_,
            .jointModel = *jointModel_,
            .vocabulary = &vocabulary_,
            .context = {.decoderState = state,
                        .contextFrameAdjustment = window.contextFrameAdjustment,
                        .isLastChunk = window.isLastChunk,
                        .globalFrameOffset = window.globalFrameOffset,
                        .language = window.language,
                        .emitTokensAfterGlobalFrame = window.emitTokensAfterGlobalFrame,
                        .initialTimeIndexOverride = window.initialTimeIndexOverride},
        });
    }

    // The frames the joint model was shown, in order.
    std::vector<int> jointFrames() const {
        std::vector<int> frames;
        for (const auto& call : jointKernel_.calls()) {
            frames.push_back(static_cast<int>(firstValue(call, "encoder_step")));
        }
        return frames;
    }

    // The labels the decoder was given, in order.
    std::vector<int> decoderLabels() const {
        std::vector<int> labels;
        for (const auto& call : decoderKernel_.calls()) {
            labels.push_back(static_cast<int>(firstValue(call, "targets")));
        }
        return labels;
    }

    testsupport::TemporaryFolder folder_;
    ASRConfig config_;
    JointScript script_;
    std::map<int, std::size_t> timesAsked_;
    std::function<void(int frame)> onJoint_;
    bool omitProjection_ = false;
    std::unordered_map<int, std::string> vocabulary_;
    ScriptedKernel decoderKernel_;
    ScriptedKernel jointKernel_;
    std::shared_ptr<platform::ml::Model> decoderModel_;
    std::shared_ptr<platform::ml::Model> jointModel_;
};

struct Scenario {
    const char* name;
    std::function<void(TdtConfig&)> configure;
    JointScript script;
    Window window;
    std::vector<Token> expectedTokens;
    int expectedTimeJump;
    std::vector<int> expectedJointFrames = {};
};

TEST_F(TdtDecoderV3Test, MainLoopFollowsTheTimeRules) {
    const auto keepDefaults = [](TdtConfig&) {};
    const std::vector<Scenario> scenarios{
        {"blanks advance by their duration, at least one frame",
         keepDefaults,
         {.frames = {{0, {blankFor(0)}}, {1, {blankFor(3)}}, {4, {token(5, 2)}}}},
         {.frames = 10},
         {{5, 4, 2}},
         0,
         {0, 1, 4, 6, 7, 8, 9}},
        {"zero-duration tokens: two per frame",
         keepDefaults,
         {.otherwise = token(7, 0)},
         {.frames = 3},
         {{7, 0, 0}, {7, 0, 1}, {7, 1, 0}, {7, 1, 1}, {7, 2, 0}},
         0},
        {"two symbols per frame, then time is forced on",
         [](TdtConfig& tdt) { tdt.maxSymbolsPerStep = 2; },
         {.otherwise = token(7, 0)},
         {.frames = 5},
         {{7, 0, 0}, {7, 0, 1}, {7, 2, 0}, {7, 2, 1}, {7, 4, 0}},
         0},
        {"one symbol per frame moves one frame further",
         [](TdtConfig& tdt) { tdt.maxSymbolsPerStep = 1; },
         {.otherwise = token(7, 1)},
         {.frames = 6},
         {{7, 0, 1}, {7, 2, 1}, {7, 4, 1}},
         0,
         {0, 2, 4, 5}},
        {"a token reaching past the end is not emitted",
         keepDefaults,
         {.frames = {{2, {token(9, 4)}}}},
         {.frames = 4},
         {},
         2,
         {0, 1, 2}},
        {"the token cap ends the window early",
         [](TdtConfig& tdt) { tdt.maxTokensPerChunk = 3; },
         {.otherwise = token(7, 1)},
         {.frames = 10},
         {{7, 0, 1}, {7, 1, 1}, {7, 2, 1}},
         -6},
        {"global frames and the emit threshold",
         keepDefaults,
         {.frames = {{1, {token(7, 1)}}, {3, {token(8, 1)}}, {5, {token(9, 2)}}}},
         {.frames = 8, .globalFrameOffset = 100, .emitTokensAfterGlobalFrame = 103},
         {{8, 103, 1}, {9, 105, 2}},
         0},
        {"audio frames bound the window",
         keepDefaults,
         {.otherwise = blankFor(2)},
         {.frames = 10, .audioFrames = 5},
         {},
         1,
         {0, 2, 4}},
    };
    for (const auto& scenario : scenarios) {
        SCOPED_TRACE(scenario.name);
        config_ = ASRConfig();
        config_.encoderHiddenSize = static_cast<int>(hiddenSize);
        scenario.configure(config_.tdtConfig);
        script(scenario.script);
        const auto jointCallsBefore = jointKernel_.calls().size();
        TdtDecoderState state = TdtDecoderState::make(static_cast<int>(decoderLayers));

        const TdtHypothesis hypothesis = decode(state, scenario.window);

        EXPECT_EQ(tokensOf(hypothesis), scenario.expectedTokens);
        EXPECT_EQ(state.timeJump, scenario.expectedTimeJump);
        if (!scenario.expectedJointFrames.empty()) {
            const auto frames = jointFrames();
            EXPECT_EQ(std::vector<int>(frames.begin() + static_cast<std::ptrdiff_t>(jointCallsBefore), frames.end()),
                      scenario.expectedJointFrames);
        }
    }
}

TEST_F(TdtDecoderV3Test, StartsAtTheOverrideOrAfterTheDecodedContext) {
    const struct {
        std::optional<int> timeJump;
        int contextFrameAdjustment;
        std::optional<int> initialTimeIndexOverride;
        int expectedStart;
    } cases[] = {
        {std::nullopt, 3, std::nullopt, 3},
        {0, 0, std::nullopt, 25},
        {0, 3, std::nullopt, 3},
        {5, 0, std::nullopt, 5},
        {-3, 2, std::nullopt, 0},
        {4, 2, std::nullopt, 6},
        {0, 0, 7, 7},
        {-3, 2, 7, 7},
    };
    for (const auto& testCase : cases) {
        const auto callsBefore = jointKernel_.calls().size();
        TdtDecoderState state = TdtDecoderState::make(static_cast<int>(decoderLayers));
        state.timeJump = testCase.timeJump;
        decode(state, {.frames = 40,
                       .contextFrameAdjustment = testCase.contextFrameAdjustment,
                       .initialTimeIndexOverride = testCase.initialTimeIndexOverride});
        ASSERT_GT(jointFrames().size(), callsBefore);
        EXPECT_EQ(jointFrames()[callsBefore], testCase.expectedStart);
    }
}

TEST_F(TdtDecoderV3Test, WindowsWithNothingToDecodeRunNoModelAndLeaveTheState) {
    const struct {
        const char* name;
        Window window;
    } cases[] = {
        {"one encoder frame", {.frames = 10, .sequenceLength = 1, .initialTimeIndexOverride = 0}},
        {"start after the audio", {.frames = 10, .audioFrames = 3, .contextFrameAdjustment = 3}},
        {"start after the time jump", {.frames = 4, .contextFrameAdjustment = 1}},
        {"start override past the end", {.frames = 10, .initialTimeIndexOverride = 10}},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        TdtDecoderState state = TdtDecoderState::make(static_cast<int>(decoderLayers));
        state.timeJump = 4;

        const TdtHypothesis hypothesis = decode(state, testCase.window);

        EXPECT_TRUE(hypothesis.ySequence.empty());
        EXPECT_EQ(hypothesis.score, 0);
        EXPECT_FALSE(hypothesis.lastToken.has_value());
        ASSERT_TRUE(hypothesis.decState.has_value());
        EXPECT_EQ(hypothesis.decState->hiddenState, state.hiddenState);
        EXPECT_EQ(state.timeJump, 4);
        EXPECT_EQ(state.predictorOutput, nullptr);
    }
    EXPECT_TRUE(decoderKernel_.calls().empty());
    EXPECT_TRUE(jointKernel_.calls().empty());
}

TEST_F(TdtDecoderV3Test, AFreshStateIsPrimedWithTheBlankOnZeroedArraysWrittenInPlace) {
    TdtDecoderState state = TdtDecoderState::make(static_cast<int>(decoderLayers));
    reset(*state.hiddenState, 7);
    reset(*state.cellState, 7);
    script({.frames = {{1, {token(42, 1)}}}});

    const TdtHypothesis hypothesis = decode(state, {.frames = 3});

    EXPECT_EQ(decoderLabels(), (std::vector<int>{blank, 42}));
    const auto decoderCalls = decoderKernel_.calls();
    EXPECT_EQ(valuesOf(*decoderCalls[0].inputs.at("h_in").multiArrayValue()), std::vector<double>(1280, 0));
    EXPECT_EQ(valuesOf(*decoderCalls[0].inputs.at("c_in").multiArrayValue()), std::vector<double>(1280, 0));
    for (const auto& call : decoderCalls) {
        EXPECT_EQ(call.options.outputBackings.at("h_out"), state.hiddenState);
        EXPECT_EQ(call.options.outputBackings.at("c_out"), state.cellState);
        EXPECT_EQ(firstValue(call, "target_length"), 1);
    }
    const auto jointCalls = jointKernel_.calls();
    for (const auto& call : jointCalls) {
        EXPECT_EQ(call.options.outputBackings, jointCalls[0].options.outputBackings);
    }
    EXPECT_EQ(firstValue(jointCalls[0], "decoder_step"), blank);
    EXPECT_EQ(firstValue(jointCalls[2], "decoder_step"), 42);
    // Two decoder runs from zero, the last one given 42.
    EXPECT_EQ(valuesOf(*state.hiddenState), std::vector<double>(1280, 2));
    EXPECT_EQ(valuesOf(*state.cellState), std::vector<double>(1280, 42));
    EXPECT_EQ(hypothesis.decState->hiddenState, state.hiddenState);
    EXPECT_EQ(hypothesis.lastToken, 42);
}

TEST_F(TdtDecoderV3Test, TheStateCarriesTheProjectionExceptAfterPunctuation) {
    // Without a token the window keeps the projection of the blank it was primed with.
    const struct {
        std::optional<int> lastToken;
        bool keepsProjection;
        std::vector<int> nextWindowDecoderLabels;
    } cases[] = {
        {7, true, {}},
        {7952, false, {7952}},
        {std::nullopt, true, {}},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.lastToken.value_or(blank));
        TdtDecoderState state = TdtDecoderState::make(static_cast<int>(decoderLayers));
        script(testCase.lastToken ? JointScript{.frames = {{2, {token(*testCase.lastToken, 1)}}}} : JointScript{});
        decode(state, {.frames = 6});
        EXPECT_EQ(state.lastToken, testCase.lastToken);
        EXPECT_EQ(state.timeJump, 0);
        EXPECT_EQ(state.predictorOutput != nullptr, testCase.keepsProjection);

        const auto decoderCallsBefore = decoderKernel_.calls().size();
        const auto jointCallsBefore = jointKernel_.calls().size();
        script({});
        decode(state, {.frames = 6, .contextFrameAdjustment = 1});

        const auto labels = decoderLabels();
        EXPECT_EQ(std::vector<int>(labels.begin() + static_cast<std::ptrdiff_t>(decoderCallsBefore), labels.end()),
                  testCase.nextWindowDecoderLabels);
        const auto firstJoint = jointKernel_.calls()[jointCallsBefore];
        EXPECT_EQ(firstValue(firstJoint, "encoder_step"), 1);
        EXPECT_EQ(firstValue(firstJoint, "decoder_step"), testCase.lastToken.value_or(blank));
        EXPECT_EQ(state.lastToken, testCase.lastToken);
    }
}

TEST_F(TdtDecoderV3Test, TokensBeforeTheEmitThresholdStillFeedTheDecoder) {
    TdtDecoderState state = TdtDecoderState::make(static_cast<int>(decoderLayers));
    script({.frames = {{1, {token(7, 1)}}, {3, {token(8, 1)}}, {5, {token(9, 1)}}}});

    const TdtHypothesis hypothesis =
        decode(state, {.frames = 8, .globalFrameOffset = 100, .emitTokensAfterGlobalFrame = 1000});

    EXPECT_TRUE(hypothesis.ySequence.empty());
    EXPECT_EQ(hypothesis.score, 0);
    EXPECT_EQ(hypothesis.lastToken, 9);
    EXPECT_EQ(state.lastToken, 9);
    EXPECT_EQ(valuesOf(*state.hiddenState), std::vector<double>(1280, 4));
}

TEST_F(TdtDecoderV3Test, ConfidencesAreProbabilitiesClampedToTheUnitRange) {
    TdtDecoderState state = TdtDecoderState::make(static_cast<int>(decoderLayers));
    script({.frames = {{0, {token(1, 1, 1.5f)}},
                       {1, {token(2, 1, std::numeric_limits<float>::quiet_NaN())}},
                       {2, {token(3, 1, -0.2f)}},
                       {3, {token(4, 1, 0.25f)}}}});

    const TdtHypothesis hypothesis = decode(state, {.frames = 5});

    EXPECT_EQ(hypothesis.ySequence, (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(hypothesis.tokenConfidences, (std::vector<float>{1, 0, 0, 0.25f}));
    EXPECT_FLOAT_EQ(hypothesis.score, 1.25f);
}

// The main loop ends at L = 8 (blanks elsewhere); the encoder output holds 12 frames.
TEST_F(TdtDecoderV3Test, TheFinalPassRevisitsTheEndOfALastWindow) {
    vocabulary_ = {{2530, "\u2581the"}, {17, "\u2581el"}};
    const Answer blocklisted = {
        .token = 2530, .durationClass = 0, .probability = 0.9f, .topKIds = {2530, 17}, .topKLogits = {5, 3}};
    const auto keepDefaults = [](TdtConfig&) {};
    const struct {
        const char* name;
        std::function<void(TdtConfig&)> configure;
        JointScript script;
        std::optional<Language> language;
        std::vector<int> expectedFinalFrames;
        std::vector<Token> expectedTokens;
        std::vector<int> expectedDecoderLabels;
    } cases[] = {
        {"five blanks end it", keepDefaults, {}, std::nullopt, {8, 7, 6, 8, 7}, {}, {blank}},
        {"ten looks at most",
         keepDefaults,
         {.frames = {{8, {token(11, 0)}}}},
         std::nullopt,
         {8, 7, 6, 8, 7, 6, 8, 7, 6, 8},
         {{11, 57, 0}, {11, 57, 0}, {11, 57, 0}, {11, 57, 0}},
         {blank, 11, 11, 11, 11}},
        {"no filters",
         keepDefaults,
         {.frames = {{8, {blocklisted}}}},
         Language::spanish,
         {8, 7, 6, 8, 7, 6, 8, 7, 6, 8},
         {{2530, 57, 0}, {2530, 57, 0}, {2530, 57, 0}, {2530, 57, 0}},
         {blank, 2530, 2530, 2530, 2530}},
        {"none without symbols per step",
         [](TdtConfig& tdt) { tdt.maxSymbolsPerStep = 0; },
         {.frames = {{8, {token(11, 0)}}}},
         std::nullopt,
         {},
         {},
         {blank}},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        config_.tdtConfig = TdtConfig();
        testCase.configure(config_.tdtConfig);
        const auto jointCallsBefore = jointKernel_.calls().size();
        const auto decoderCallsBefore = decoderKernel_.calls().size();
        TdtDecoderState state = TdtDecoderState::make(static_cast<int>(decoderLayers));
        script(testCase.script);

        const TdtHypothesis hypothesis = decode(state, {.frames = 12,
                                                        .audioFrames = 8,
                                                        .isLastChunk = true,
                                                        .globalFrameOffset = 50,
                                                        .language = testCase.language});

        const auto frames = jointFrames();
        EXPECT_EQ(std::vector<int>(frames.begin() + static_cast<std::ptrdiff_t>(jointCallsBefore) + 8, frames.end()),
                  testCase.expectedFinalFrames);
        EXPECT_EQ(tokensOf(hypothesis), testCase.expectedTokens);
        const auto labels = decoderLabels();
        EXPECT_EQ(std::vector<int>(labels.begin() + static_cast<std::ptrdiff_t>(decoderCallsBefore), labels.end()),
                  testCase.expectedDecoderLabels);
        const std::optional<int> lastToken =
            testCase.expectedTokens.empty() ? std::nullopt : std::optional<int>(testCase.expectedTokens.back().id);
        EXPECT_EQ(state.lastToken, lastToken);
        EXPECT_EQ(state.predictorOutput, nullptr);
        EXPECT_FALSE(state.timeJump.has_value());
    }
}

TEST_F(TdtDecoderV3Test, ALanguageHintRedirectsTokensOfTheMainLoop) {
    vocabulary_ = {{2530, "\u2581the"}, {17, "\u2581el"}, {99, "\u2581\u0434\u0430"}};
    const Answer english = {
        .token = 2530, .durationClass = 1, .probability = 0.9f, .topKIds = {2530, 17}, .topKLogits = {5, 3}};
    const Answer withCyrillic = {
        .token = 17, .durationClass = 1, .probability = 0.9f, .topKIds = {17, 99}, .topKLogits = {5, 3}};
    const float secondShare = std::exp(-2.0f) / (1 + std::exp(-2.0f));
    // Frame 0 is the first joint step of the window, frame 1 a blank-skipping step after it.
    const struct {
        std::optional<Language> language;
        Answer answer;
        int frame;
        int expectedToken;
        float expectedConfidence;
    } cases[] = {
        {std::nullopt, english, 1, 2530, 0.9f},
        {Language::english, english, 1, 2530, 0.9f},
        {Language::russian, english, 1, 2530, 0.9f},
        {Language::spanish, english, 1, 17, secondShare},
        {Language::spanish, english, 0, 17, secondShare},
        {Language::russian, withCyrillic, 1, 99, secondShare},
        {Language::russian, withCyrillic, 0, 99, secondShare},
    };
    for (const auto& testCase : cases) {
        TdtDecoderState state = TdtDecoderState::make(static_cast<int>(decoderLayers));
        script({.frames = {{testCase.frame, {testCase.answer}}}});

        const TdtHypothesis hypothesis = decode(state, {.frames = 4, .language = testCase.language});

        ASSERT_EQ(hypothesis.ySequence.size(), 1u);
        EXPECT_EQ(hypothesis.ySequence[0], testCase.expectedToken);
        EXPECT_FLOAT_EQ(hypothesis.tokenConfidences[0], testCase.expectedConfidence);
    }
}

TEST_F(TdtDecoderV3Test, FailuresEndTheWindowKeepingWhatTheDecoderWrote) {
    TdtDecoderState state = TdtDecoderState::make(static_cast<int>(decoderLayers));
    state.timeJump = 2;
    script({.frames = {{2, {token(5, 1)}}, {3, {blankFor(5)}}}});
    try {
        decode(state, {.frames = 6});
        FAIL() << "no error";
    } catch (const ASRError& error) {
        EXPECT_STREQ(error.what(), "ASR processing failed: Duration bin index out of range: 5");
    }
    EXPECT_EQ(state.timeJump, 2);
    EXPECT_FALSE(state.lastToken.has_value());
    ASSERT_NE(state.predictorOutput, nullptr);
    EXPECT_EQ(state.predictorOutput->value(0), 5);
    EXPECT_EQ(valuesOf(*state.hiddenState), std::vector<double>(1280, 2));

    omitProjection_ = true;
    TdtDecoderState fresh = TdtDecoderState::make(static_cast<int>(decoderLayers));
    try {
        decode(fresh, {.frames = 6});
        FAIL() << "no error";
    } catch (const ASRError& error) {
        EXPECT_EQ(error.message(), "Invalid decoder output");
    }
}

// The task is cancelled during the given joint call (before the window when 0); the next joint step is not
// taken.
TEST_F(TdtDecoderV3Test, CancellationIsCheckedBeforeEveryJointStep) {
    const struct {
        const char* name;
        Window window;
        std::size_t cancelledDuringJointCall;
    } cases[] = {
        {"first step of the main loop", {.frames = 10}, 0},
        {"blank-skipping step", {.frames = 10}, 3},
        {"main loop after an emission", {.frames = 10}, 2},
        {"final pass", {.frames = 4, .isLastChunk = true}, 5},
    };
    script({.frames = {{1, {token(7, 1)}}}});
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        platform::core::CancellationSource source;
        const platform::core::Task::Scope scope(source.token());
        std::size_t jointCalls = 0;
        onJoint_ = [&](int) {
            if (++jointCalls == testCase.cancelledDuringJointCall) {
                source.cancel();
            }
        };
        if (testCase.cancelledDuringJointCall == 0) {
            source.cancel();
        }
        TdtDecoderState state = TdtDecoderState::make(static_cast<int>(decoderLayers));

        EXPECT_THROW(decode(state, testCase.window), platform::core::CancellationError);
        EXPECT_EQ(jointCalls, testCase.cancelledDuringJointCall);
    }
}

} // namespace
} // namespace quorl
