#include "QuorlAudio/asr/batch/ASRError.hpp"
#include "QuorlAudio/asr/batch/TdtEncoderFrameView.hpp"
#include "QuorlAudio/asr/batch/TdtModelInference.hpp"
#include "QuorlAudio/asr/batch/TdtStepBuffers.hpp"
#include "QuorlAudio/foundation/ANEMemoryUtils.hpp"

#include "platform/ml/DictionaryFeatureProvider.hpp"
#include "platform/ml/ModelError.hpp"
#include "tests/support/ModelBundleWriter.hpp"
#include "tests/support/MultiArrayValues.hpp"
#include "tests/support/ScriptedKernel.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace quorl {
namespace {

using platform::ml::DataType;
using platform::ml::DictionaryFeatureProvider;
using platform::ml::FeatureValue;
using platform::ml::MultiArray;
using testsupport::makeArray;
using testsupport::valuesOf;

using Outputs = std::map<std::string, FeatureValue>;

constexpr std::size_t beyondInt32 = std::size_t{1} << 31;

// Runs the action and returns the message of the ASRError::processingFailed it throws.
std::string processingFailure(const std::function<void()>& action) {
    try {
        action();
    } catch (const ASRError& error) {
        EXPECT_EQ(error.kind(), ASRError::Kind::processingFailed);
        return error.message();
    }
    return "no error";
}

std::shared_ptr<MultiArray> zeros(const MultiArray::Shape& shape, DataType dataType = DataType::float32) {
    return std::make_shared<MultiArray>(shape, dataType);
}

// An array over `memory` with the given strides, which need not be dense.
std::shared_ptr<MultiArray> strided(std::vector<float>& memory, const MultiArray::Shape& shape,
                                    const MultiArray::Shape& strides) {
    return std::make_shared<MultiArray>(memory.data(), shape, DataType::float32, strides, nullptr);
}

struct ViewCase {
    MultiArray::Shape shape;
    int validLength;
    int expectedCount;
    std::size_t expectedHiddenAxis;
};

TEST(EncoderFrameView, FindsTheHiddenAxisAndCountsTheValidFrames) {
    const std::vector<ViewCase> cases{
        {{1, 1024, 188}, 200, 188, 1},
        {{1, 1024, 188}, 100, 100, 1},
        {{1, 188, 1024}, 200, 188, 2},
        {{1, 1024, 1024}, 2000, 1024, 1},
    };
    for (const auto& testCase : cases) {
        const auto encoder = zeros(testCase.shape);
        const EncoderFrameView view(encoder, testCase.validLength, 1024);
        EXPECT_EQ(view.count, testCase.expectedCount);
        EXPECT_EQ(view.hiddenAxis, testCase.expectedHiddenAxis);
        EXPECT_EQ(view.timeAxis, 3 - testCase.expectedHiddenAxis);
        EXPECT_EQ(view.timeStride, encoder->strides()[view.timeAxis]);
        EXPECT_EQ(view.hiddenStride, encoder->strides()[view.hiddenAxis]);
    }
}

TEST(EncoderFrameView, RejectsOutputsItCannotRead) {
    std::vector<float> memory(8);
    const struct {
        std::shared_ptr<MultiArray> encoder;
        int validLength;
        std::string message;
    } cases[] = {
        {zeros({1, 1024}), 10, "Invalid encoder output shape: [1, 1024]"},
        {zeros({2, 1024, 4}), 10, "Unsupported batch dimension: 2"},
        {zeros({1, 512, 4}), 10, "Encoder hidden size mismatch: [1, 512, 4], expected 1024"},
        {zeros({1, 1024, 4}), 0, "Encoder output has no frames"},
        {zeros({1, 1024, 4}, DataType::float16), 10, "Unsupported encoder output type: float16"},
        {zeros({1, 1024, 4}, DataType::float16), 0, "Encoder output has no frames"},
        {zeros({1, 512, 4}, DataType::float16), 10, "Encoder hidden size mismatch: [1, 512, 4], expected 1024"},
        {std::make_shared<MultiArray>(memory.data(), MultiArray::Shape{1, 1024, 3}, DataType::float32,
                                      MultiArray::Shape{1024, 1, 0}, nullptr),
         10, "Invalid time stride: 0"},
    };
    for (const auto& testCase : cases) {
        EXPECT_EQ(processingFailure([&] { EncoderFrameView(testCase.encoder, testCase.validLength, 1024); }),
                  testCase.message);
    }
}

TEST(EncoderFrameView, CopiesFramesThroughBothLayoutsAndStrides) {
    // Three frames of two values, frame t holding {t + 0.1, t + 0.2}, in padded storage of both layouts.
    std::vector<float> hiddenFirst(64, -1);
    std::vector<float> timeFirst(64, -1);
    for (int frame = 0; frame < 3; ++frame) {
        for (int hidden = 0; hidden < 2; ++hidden) {
            const float value = static_cast<float>(frame) + 0.1f * static_cast<float>(hidden + 1);
            hiddenFirst[static_cast<std::size_t>(hidden * 8 + frame * 2)] = value;
            timeFirst[static_cast<std::size_t>(frame * 16 + hidden * 3)] = value;
        }
    }
    for (const auto& encoder :
         {strided(hiddenFirst, {1, 2, 3}, {64, 8, 2}), strided(timeFirst, {1, 3, 2}, {64, 16, 3})}) {
        const EncoderFrameView view(encoder, 3, 2);
        std::vector<float> destination(32, 0);
        view.copyFrame(2, destination.data(), 16);
        EXPECT_FLOAT_EQ(destination[0], 2.1f);
        EXPECT_FLOAT_EQ(destination[16], 2.2f);
        EXPECT_EQ(destination[1], 0);
    }
}

TEST(EncoderFrameView, CopiesEveryFrameOfADenseOutputInAnyOrder) {
    // [1, 5, 11], frame t holding t + 0.01 h at hidden index h: frames are adjacent within each row, and the
    // last valid group of frames is a partial one.
    constexpr int hiddenSize = 5;
    constexpr int frames = 11;
    std::vector<double> values;
    for (int hidden = 0; hidden < hiddenSize; ++hidden) {
        for (int frame = 0; frame < frames; ++frame) {
            values.push_back(frame + 0.01 * hidden);
        }
    }
    const EncoderFrameView view(makeArray({1, hiddenSize, frames}, values), 10, hiddenSize);
    std::vector<float> destination(hiddenSize * 16, -1);
    for (const int frame : {0, 1, 1, 9, 3, 8, 7, 2}) {
        view.copyFrame(frame, destination.data(), 16);
        for (std::size_t index = 0; index < destination.size(); ++index) {
            const float expected =
                index % 16 == 0 ? static_cast<float>(frame + 0.01 * static_cast<double>(index / 16)) : -1.0f;
            EXPECT_EQ(destination[index], expected) << "frame " << frame << " at " << index;
        }
    }
}

TEST(EncoderFrameView, RefusesFramesAndStridesItCannotCopy) {
    std::vector<float> memory(64);
    std::vector<float> destination(16);
    const EncoderFrameView view(zeros({1, 4, 3}), 2, 4);
    const EncoderFrameView flat(strided(memory, {1, 4, 3}, {12, 0, 1}), 3, 4);
    const EncoderFrameView wide(strided(memory, {1, 2, 1}, {64, beyondInt32, 1}), 1, 2);
    EXPECT_EQ(processingFailure([&] { view.copyFrame(2, destination.data(), 1); }),
              "Encoder frame index out of range: 2");
    EXPECT_EQ(processingFailure([&] { view.copyFrame(-1, destination.data(), 1); }),
              "Encoder frame index out of range: -1");
    EXPECT_EQ(processingFailure([&] { flat.copyFrame(0, destination.data(), 1); }), "Invalid hidden stride: 0");
    EXPECT_EQ(processingFailure([&] { wide.copyFrame(0, destination.data(), 1); }),
              "Hidden stride exceeds supported range");
    EXPECT_EQ(processingFailure([&] { view.copyFrame(0, destination.data(), beyondInt32); }),
              "Destination stride exceeds supported range");
}

std::vector<double> projectionValues() {
    std::vector<double> values(640);
    for (std::size_t index = 0; index < values.size(); ++index) {
        values[index] = static_cast<double>(index) * 0.5;
    }
    return values;
}

TEST(TdtModelInference, NormalizesBothProjectionLayoutsIntoThePaddedDecoderStep) {
    const auto destination = ANEMemoryUtils::createAlignedArray({1, 640, 1}, DataType::float32, true);
    for (const MultiArray::Shape& shape : {MultiArray::Shape{1, 1, 640}, MultiArray::Shape{1, 640, 1}}) {
        const auto filled =
            TdtModelInference::normalizeDecoderProjection(*makeArray(shape, projectionValues()), destination);
        EXPECT_EQ(filled, destination);
        EXPECT_EQ(valuesOf(*filled), projectionValues());
    }
    const auto created = TdtModelInference::normalizeDecoderProjection(*makeArray({1, 1, 640}, projectionValues()));
    EXPECT_EQ(created->shape(), (MultiArray::Shape{1, 640, 1}));
    EXPECT_EQ(created->strides()[1], 16u);
    EXPECT_EQ(valuesOf(*created), projectionValues());
}

TEST(TdtModelInference, RefusesProjectionsAndDestinationsItCannotUse) {
    std::vector<float> memory(64);
    const auto good = zeros({1, 1, 640});
    const auto wideProjection = strided(memory, {1, 1, 640}, {640, 640, beyondInt32});
    const auto wideDestination = strided(memory, {1, 640, 1}, {640, beyondInt32, 1});
    const struct {
        std::shared_ptr<MultiArray> projection;
        std::shared_ptr<MultiArray> destination;
        std::string message;
    } cases[] = {
        {zeros({1, 640}), nullptr, "Invalid decoder projection rank: [1, 640]"},
        {zeros({2, 1, 640}), nullptr, "Unsupported decoder batch dimension: 2"},
        {zeros({1, 1, 640}, DataType::float16), nullptr, "Unsupported decoder projection type: float16"},
        {zeros({1, 1, 639}), nullptr, "Decoder projection hidden size mismatch: [1, 1, 639]"},
        {zeros({1, 640, 2}), nullptr, "Decoder projection time axis must be 1: [1, 640, 2]"},
        {good, zeros({1, 640, 2}), "Prepared decoder step shape mismatch: 1x640x2"},
        {good, zeros({1, 640, 1}, DataType::float16), "Prepared decoder step shape mismatch: 1x640x1"},
        {good, wideDestination, "Decoder destination stride exceeds supported range"},
        {wideProjection, zeros({1, 640, 1}), "Decoder projection stride exceeds supported range"},
        {wideProjection, wideDestination, "Decoder destination stride exceeds supported range"},
    };
    for (const auto& testCase : cases) {
        EXPECT_EQ(processingFailure([&] {
                      TdtModelInference::normalizeDecoderProjection(*testCase.projection, testCase.destination);
                  }),
                  testCase.message);
    }
}

std::shared_ptr<MultiArray> scalar(double value, DataType dataType) { return makeArray({1, 1, 1}, {value}, dataType); }

Outputs jointOutputs(int token, float probability, int duration) {
    return {
        {"token_id", FeatureValue(scalar(token, DataType::int32))},
        {"token_prob", FeatureValue(scalar(probability, DataType::float32))},
        {"duration", FeatureValue(scalar(duration, DataType::int32))},
    };
}

TEST(TdtModelInference, ChecksTheJointOutputsInOrder) {
    auto withoutTokenId = jointOutputs(1, 0.5f, 0);
    withoutTokenId.erase("token_id");
    withoutTokenId.erase("duration");
    auto withoutProbability = jointOutputs(1, 0.5f, 0);
    withoutProbability.erase("token_prob");
    auto withoutDuration = jointOutputs(1, 0.5f, 0);
    withoutDuration.insert_or_assign("duration", FeatureValue(std::int64_t{0}));
    auto twoTokens = jointOutputs(1, 0.5f, 0);
    twoTokens.insert_or_assign("token_id", FeatureValue(makeArray({2}, {1, 2}, DataType::int32)));
    auto onlyIds = jointOutputs(1, 0.5f, 0);
    onlyIds.insert_or_assign("top_k_ids", FeatureValue(makeArray({2}, {1, 2}, DataType::int32)));
    auto onlyLogits = jointOutputs(1, 0.5f, 0);
    onlyLogits.insert_or_assign("top_k_logits", FeatureValue(makeArray({2}, {1, 2})));
    auto unequal = onlyIds;
    unequal.insert_or_assign("top_k_logits", FeatureValue(makeArray({3}, {1, 2, 3})));
    auto floatIds = onlyLogits;
    floatIds.insert_or_assign("top_k_ids", FeatureValue(makeArray({2}, {1, 2})));
    auto integerLogits = onlyIds;
    integerLogits.insert_or_assign("top_k_logits", FeatureValue(makeArray({2}, {1, 2}, DataType::int32)));
    const struct {
        Outputs outputs;
        std::string message;
    } cases[] = {
        {withoutTokenId, "Joint decision output missing token_id"},
        {withoutProbability, "Joint decision output missing token_prob"},
        {withoutDuration, "Joint decision output missing duration"},
        {twoTokens, "Joint decision returned unexpected tensor shapes"},
        {onlyIds, "Joint decision top-K outputs must be present as a pair (top_k_ids + top_k_logits)"},
        {onlyLogits, "Joint decision top-K outputs must be present as a pair (top_k_ids + top_k_logits)"},
        {unequal, "Joint decision top-K length mismatch: 2 vs 3"},
        {floatIds, "Expected Int32 for top_k_ids, got float32"},
        {integerLogits, "Expected Float32 for top_k_logits, got int32"},
    };
    TdtStepBuffers::TopKLists topK;
    for (const auto& testCase : cases) {
        EXPECT_EQ(processingFailure([&] {
                      TdtModelInference::readJointDecision(DictionaryFeatureProvider(testCase.outputs), true, topK);
                  }),
                  testCase.message);
    }
    const auto decision = TdtModelInference::readJointDecision(DictionaryFeatureProvider(onlyIds), false, topK);
    EXPECT_EQ(decision.token, 1);
    EXPECT_FALSE(decision.topKIds.has_value());
    EXPECT_FALSE(decision.topKLogits.has_value());
}

TEST(TdtModelInference, ReadsPaddedTopKListsThroughTheirStrides) {
    std::vector<std::int32_t> ids{7, -1, 8, -1, 9, -1, 10, -1};
    std::vector<float> logits{1.5f, 2.5f, -1, -1, 3.5f, 4.5f, -1, -1};
    auto outputs = jointOutputs(3, 0.25f, 2);
    outputs.insert_or_assign(
        "top_k_ids", FeatureValue(std::make_shared<MultiArray>(ids.data(), MultiArray::Shape{4}, DataType::int32,
                                                               MultiArray::Shape{2}, nullptr)));
    outputs.insert_or_assign("top_k_logits", FeatureValue(std::make_shared<MultiArray>(
                                                 logits.data(), MultiArray::Shape{2, 2}, DataType::float32,
                                                 MultiArray::Shape{4, 1}, nullptr)));

    TdtStepBuffers::TopKLists topK;

    const auto decision = TdtModelInference::readJointDecision(DictionaryFeatureProvider(outputs), true, topK);

    EXPECT_EQ(decision.token, 3);
    EXPECT_FLOAT_EQ(decision.probability, 0.25f);
    EXPECT_EQ(decision.durationIndex, 2);
    ASSERT_TRUE(decision.topKIds && decision.topKLogits);
    EXPECT_EQ(std::vector<int>(decision.topKIds->begin(), decision.topKIds->end()), (std::vector<int>{7, 8, 9, 10}));
    EXPECT_EQ(std::vector<float>(decision.topKLogits->begin(), decision.topKLogits->end()),
              (std::vector<float>{1.5f, 2.5f, 3.5f, 4.5f}));
    EXPECT_EQ(decision.topKIds->data(), topK.ids.data());
    EXPECT_EQ(decision.topKLogits->data(), topK.logits.data());
}

bool isAligned(const MultiArray& array) { return reinterpret_cast<std::uintptr_t>(array.dataPointer()) % 64 == 0; }

TEST(TdtStepBuffers, PreallocatesTheWindowsAlignedInputsAndBackings) {
    const TdtStepBuffers buffers(1024);
    const struct {
        std::shared_ptr<MultiArray> array;
        MultiArray::Shape shape;
        DataType dataType;
    } cases[] = {
        {buffers.targets, {1, 1}, DataType::int32},
        {buffers.targetLength, {1}, DataType::int32},
        {buffers.encoderStep, {1, 1024, 1}, DataType::float32},
        {buffers.decoderStep, {1, 640, 1}, DataType::float32},
        {buffers.tokenIdBacking, {1, 1, 1}, DataType::int32},
        {buffers.tokenProbBacking, {1, 1, 1}, DataType::float32},
        {buffers.durationBacking, {1, 1, 1}, DataType::int32},
    };
    for (const auto& testCase : cases) {
        EXPECT_EQ(testCase.array->shape(), testCase.shape);
        EXPECT_EQ(testCase.array->dataType(), testCase.dataType);
        EXPECT_TRUE(isAligned(*testCase.array));
    }
    EXPECT_EQ(buffers.targetLength->at<std::int32_t>(0), 1);
    EXPECT_EQ(valuesOf(*buffers.encoderStep), std::vector<double>(1024, 0));
    EXPECT_EQ(buffers.encoderDestPtr, buffers.encoderStep->data<float>());
    EXPECT_EQ(buffers.encoderDestStride, 16u);
    EXPECT_EQ(buffers.jointBackings, (TdtStepBuffers::Backings{{"token_id", buffers.tokenIdBacking},
                                                               {"token_prob", buffers.tokenProbBacking},
                                                               {"duration", buffers.durationBacking}}));

    const ReusableJointInputProvider& input = buffers.jointInput;
    EXPECT_EQ(input.featureNames(), (std::set<std::string>{"encoder_step", "decoder_step"}));
    EXPECT_EQ(input.featureValue("encoder_step")->multiArrayValue(), buffers.encoderStep);
    EXPECT_EQ(input.featureValue("decoder_step")->multiArrayValue(), buffers.decoderStep);
    EXPECT_FALSE(input.featureValue("targets").has_value());
}

// A joint model answering from a replaceable script, and the step buffers of a window with two hidden values.
class TdtJointStepTest : public ::testing::Test {
protected:
    static constexpr const char* kernelName = "tdt-model-inference-tests-joint";

    TdtJointStepTest()
        : kernel_(kernelName, [this](const testsupport::ScriptedKernel::Call&) { return answer_(); }),
          model_(
              platform::ml::Model::load(testsupport::writeModelBundle(folder_.path(), "Joint.mlmodelc", manifest()))),
          encoder_(makeArray({1, 2, 3}, {0.1, 1.1, 2.1, 0.2, 1.2, 2.2})), frames_(encoder_, 3, 2), buffers_(2) {}

    static nlohmann::json manifest() {
        using testsupport::multiArrayFeature;
        return testsupport::modelManifest(
            kernelName, {multiArrayFeature("encoder_step", {1, 2, 1}), multiArrayFeature("decoder_step", {1, 640, 1})},
            {multiArrayFeature("token_id", {1, 1, 1}, DataType::int32), multiArrayFeature("token_prob", {1, 1, 1}),
             multiArrayFeature("duration", {1, 1, 1}, DataType::int32)});
    }

    TdtJointDecision run(bool needsTopK, int frame = 2) {
        return inference_.runJointPrepared(frames_, frame, *model_, buffers_, needsTopK);
    }

    void expectBackingsGivenBack() const {
        EXPECT_TRUE(inference_.predictionOptions->outputBackings.empty());
        EXPECT_EQ(buffers_.jointBackings.size(), 3u);
    }

    testsupport::TemporaryFolder folder_;
    std::function<Outputs()> answer_ = [] { return jointOutputs(5, 0.5f, 1); };
    testsupport::ScriptedKernel kernel_;
    std::shared_ptr<platform::ml::Model> model_;
    std::shared_ptr<MultiArray> encoder_;
    EncoderFrameView frames_;
    TdtStepBuffers buffers_;
    TdtModelInference inference_;
};

TEST_F(TdtJointStepTest, CopiesTheFrameAndWritesTheDecisionIntoTheWindowsBackings) {
    const TdtJointDecision decision = run(false);

    EXPECT_EQ(decision.token, 5);
    EXPECT_FLOAT_EQ(decision.probability, 0.5f);
    EXPECT_EQ(decision.durationIndex, 1);
    const auto calls = kernel_.calls();
    ASSERT_EQ(calls.size(), 1u);
    const auto encoderStep = valuesOf(*calls[0].inputs.at("encoder_step").multiArrayValue());
    EXPECT_FLOAT_EQ(static_cast<float>(encoderStep[0]), 2.1f);
    EXPECT_FLOAT_EQ(static_cast<float>(encoderStep[1]), 2.2f);
    EXPECT_EQ(calls[0].options.outputBackings, buffers_.jointBackings);
    EXPECT_EQ(buffers_.jointBackings.at("token_id"), buffers_.tokenIdBacking);
    EXPECT_EQ(buffers_.tokenIdBacking->at<std::int32_t>(0), 5);
    EXPECT_EQ(buffers_.durationBacking->at<std::int32_t>(0), 1);
    expectBackingsGivenBack();
}

TEST_F(TdtJointStepTest, ReadsTopKListsOnlyWhenAskedFor) {
    answer_ = [] {
        auto outputs = jointOutputs(5, 0.5f, 1);
        outputs.insert_or_assign("top_k_ids", FeatureValue(makeArray({2}, {5, 6}, DataType::int32)));
        return outputs;
    };
    EXPECT_FALSE(run(false).topKIds.has_value());
    EXPECT_EQ(processingFailure([&] { run(true); }),
              "Joint decision top-K outputs must be present as a pair (top_k_ids + top_k_logits)");
    expectBackingsGivenBack();
}

TEST_F(TdtJointStepTest, AFrameOutsideTheViewEndsTheStepBeforeThePrediction) {
    EXPECT_EQ(processingFailure([&] { run(false, 3); }), "Encoder frame index out of range: 3");
    EXPECT_TRUE(kernel_.calls().empty());
}

TEST_F(TdtJointStepTest, PassesRuntimeErrorsOnUnchanged) {
    kernel_.failPredictionsWith(std::make_exception_ptr(platform::ml::ModelError::invalidArray("scripted failure")));
    try {
        run(false);
        FAIL() << "no error";
    } catch (const platform::ml::ModelError& error) {
        EXPECT_EQ(error.kind(), platform::ml::ModelError::Kind::invalidArray);
    }
    expectBackingsGivenBack();
}

} // namespace
} // namespace quorl
