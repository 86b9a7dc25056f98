#include "QuorlAudio/tts/styletts2/StyleTTS2DiffusionSchedule.hpp"
#include "QuorlAudio/tts/styletts2/StyleTTS2Error.hpp"
#include "QuorlAudio/tts/styletts2/StyleTTS2GlueOps.hpp"
#include "QuorlAudio/tts/styletts2/StyleTTS2MultiArray.hpp"
#include "QuorlAudio/tts/styletts2/StyleTTS2NoiseSource.hpp"
#include "platform/ml/ModelError.hpp"
#include "tests/support/ErrorText.hpp"
#include "tests/support/MultiArrayValues.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <numeric>
#include <stdexcept>
#include <vector>

namespace quorl {
namespace {

using platform::ml::DataType;
using platform::ml::MultiArray;
using testsupport::makeArray;
namespace glue = StyleTTS2GlueOps;
using Durations = std::vector<std::int64_t>;
using Floats = std::vector<float>;

TEST(StyleTTS2GlueOpsTests, DurationsAreRoundedSigmoidSumsOfAtLeastOne) {
    const struct {
        const char* name;
        std::vector<std::size_t> shape;
        double value;
        DataType dataType;
        Durations durations;
    } cases[] = {
        {"zeros sum to 1.5, rounded away from zero", {1, 2, 3}, 0.0, DataType::float32, {2, 2}},
        {"strongly negative sums near 0 become 1", {1, 2, 3}, -20.0, DataType::float32, {1, 1}},
        {"strongly positive sum to the class count", {1, 3, 4}, 20.0, DataType::float16, {4, 4, 4}},
        {"no token", {1, 0, 4}, 0.0, DataType::float32, {}},
    };
    for (const auto& example : cases) {
        SCOPED_TRACE(example.name);
        const std::size_t count =
            std::accumulate(example.shape.begin(), example.shape.end(), std::size_t{1}, std::multiplies<>());
        const auto logits = makeArray(example.shape, std::vector<double>(count, example.value), example.dataType);
        EXPECT_EQ(glue::roundDurations(*logits), example.durations);
    }
}

TEST(StyleTTS2GlueOpsTests, LogitsOfAnotherRankOrWithoutABatchEntryAreRefused) {
    const struct {
        std::vector<std::size_t> shape;
        const char* got;
    } cases[] = {{{2, 3}, "[2, 3]"}, {{1, 1, 2, 3}, "[1, 1, 2, 3]"}, {{0, 2, 3}, "[0, 2, 3]"}};
    for (const auto& example : cases) {
        const MultiArray logits(example.shape, DataType::float32);
        try {
            glue::roundDurations(logits);
            ADD_FAILURE() << "nothing thrown for " << example.got;
        } catch (const StyleTTS2Error& error) {
            EXPECT_EQ(error.kind(), StyleTTS2Error::Kind::invalidTensorShape);
            EXPECT_EQ(std::string(error.what()), std::string("StyleTTS2 duration_logits tensor shape mismatch: "
                                                             "expected [1, T, C], got ") +
                                                     example.got);
        }
    }
}

TEST(StyleTTS2GlueOpsTests, NonFiniteLogitsAreRefusedInsteadOfRounded) {
    for (const double bad : {std::nan(""), std::numeric_limits<double>::infinity()}) {
        const auto logits = makeArray({1, 2, 2}, {0.0, 0.0, 0.0, bad});
        EXPECT_EQ(testsupport::errorText([&] { glue::roundDurations(*logits); }),
                  "StyleTTS2 duration_logits inference failed: non-finite logit for token 1");
    }
}

TEST(StyleTTS2GlueOpsTests, TheAlignmentGivesEachFrameToOneTokenInOrder) {
    const Durations durations{2, 1, 3};
    const auto alignment = glue::buildAlignmentMatrix(durations);
    EXPECT_EQ(alignment.totalFrames, 6u);
    EXPECT_EQ(alignment.matrix, (Floats{1, 1, 0, 0, 0, 0, //
                                        0, 0, 1, 0, 0, 0, //
                                        0, 0, 0, 1, 1, 1}));

    const auto empty = glue::buildAlignmentMatrix({});
    EXPECT_EQ(empty.totalFrames, 0u);
    EXPECT_TRUE(empty.matrix.empty());
    const Durations negative{2, -1};
    EXPECT_THROW(glue::buildAlignmentMatrix(negative), std::invalid_argument);
}

TEST(StyleTTS2GlueOpsTests, ExpansionRepeatsEachTokensFeaturesOverItsFrames) {
    const Durations durations{2, 1, 3};
    const auto alignment = glue::buildAlignmentMatrix(durations);
    const Floats features{1,  2,  3, //
                          10, 20, 30};
    const auto expanded = glue::matmulAligned({features, 2, 3}, {alignment.matrix, 3, alignment.totalFrames});
    EXPECT_EQ(expanded, (Floats{1, 1, 2, 3, 3, 3, 10, 10, 20, 30, 30, 30}));
    EXPECT_THROW(glue::matmulAligned({features, 3, 2}, {alignment.matrix, 3, 6}), std::invalid_argument);
    EXPECT_THROW(glue::matmulAligned({features, 2, 2}, {alignment.matrix, 3, 6}), std::invalid_argument);
}

TEST(StyleTTS2GlueOpsTests, TransposeAndShiftMoveElementsAsDrawn) {
    const Floats matrix{1, 2, 3, //
                        4, 5, 6};
    EXPECT_EQ(glue::transposeLast2D({matrix, 2, 3}), (Floats{1, 4, 2, 5, 3, 6}));
    EXPECT_EQ(glue::hifiganShift({Floats{1, 2, 3}, 1, 3}), (Floats{1, 1, 2}));
    EXPECT_EQ(glue::hifiganShift({matrix, 2, 3}), (Floats{1, 1, 2, 4, 4, 5}));
    EXPECT_EQ(glue::hifiganShift({Floats{7}, 1, 1}), Floats{7});
    EXPECT_THROW(glue::hifiganShift({Floats{}, 1, 0}), std::invalid_argument);
    EXPECT_THROW(glue::transposeLast2D({matrix, 3, 3}), std::invalid_argument);
}

TEST(StyleTTS2GlueOpsTests, AlphaWeighsTheAcousticHalfAndBetaTheProsodicHalf) {
    Floats sampled(256);
    Floats reference(256);
    std::iota(sampled.begin(), sampled.end(), 1.0F);
    std::iota(reference.begin(), reference.end(), -300.0F);
    const Floats sampledFirst(sampled.begin(), sampled.begin() + 128);
    const Floats sampledSecond(sampled.begin() + 128, sampled.end());
    const Floats referenceFirst(reference.begin(), reference.begin() + 128);
    const Floats referenceSecond(reference.begin() + 128, reference.end());

    const auto sampledOnly = glue::blendStyle(sampled, reference, 1.0F, 1.0F);
    EXPECT_EQ(sampledOnly.ref128, sampledFirst);
    EXPECT_EQ(sampledOnly.s128, sampledSecond);
    const auto referenceOnly = glue::blendStyle(sampled, reference, 0.0F, 0.0F);
    EXPECT_EQ(referenceOnly.ref128, referenceFirst);
    EXPECT_EQ(referenceOnly.s128, referenceSecond);
    const auto mixed = glue::blendStyle(sampled, reference, 1.0F, 0.0F);
    EXPECT_EQ(mixed.ref128, sampledFirst);
    EXPECT_EQ(mixed.s128, referenceSecond);
    EXPECT_FLOAT_EQ(glue::blendStyle(sampled, reference, 0.25F, 0.5F).ref128[0], 0.25F * 1.0F + 0.75F * -300.0F);

    EXPECT_THROW(glue::blendStyle(Floats(255), reference, 0.3F, 0.7F), std::invalid_argument);
}

TEST(StyleTTS2GlueOpsTests, TheNoiseIsReproducibleAndSeedZeroStandsForTheFixedSeed) {
    StyleTTS2NoiseSource first(42);
    StyleTTS2NoiseSource second(42);
    const auto drawn = first.nextGaussianArray(3);
    EXPECT_EQ(drawn, (Floats{second.nextGaussian(), second.nextGaussian(), second.nextGaussian()}));
    EXPECT_EQ(first.state(), second.state());
    EXPECT_NE(drawn, StyleTTS2NoiseSource(43).nextGaussianArray(3));
    EXPECT_EQ(StyleTTS2NoiseSource(0).nextGaussianArray(16),
              StyleTTS2NoiseSource(0xdeadbeefcafebabeULL).nextGaussianArray(16));
    EXPECT_TRUE(StyleTTS2NoiseSource(1).nextGaussianArray(0).empty());

    // Standard normal: over 20000 values the mean is near 0 and the variance near 1.
    const auto many = StyleTTS2NoiseSource(7).nextGaussianArray(20000);
    const double mean = std::accumulate(many.begin(), many.end(), 0.0) / 20000.0;
    double variance = 0.0;
    for (const float value : many) {
        variance += (value - mean) * (value - mean) / 20000.0;
    }
    EXPECT_NEAR(mean, 0.0, 0.03);
    EXPECT_NEAR(variance, 1.0, 0.05);
}

TEST(StyleTTS2GlueOpsTests, TheKarrasScheduleFallsFromSigmaMaxToSigmaMinThenZero) {
    const auto sigmas = StyleTTS2DiffusionSchedule::karrasSigmas(5, 1e-4, 3.0, 9.0);
    const std::vector<double> expected{3.0, 0.55791, 0.070362, 0.0047578, 1e-4, 0.0};
    ASSERT_EQ(sigmas.size(), expected.size());
    for (std::size_t index = 0; index < expected.size(); ++index) {
        EXPECT_NEAR(sigmas[index], expected[index], expected[index] * 1e-4) << index;
    }
    // The ends are the given levels up to the last bits of the power and root.
    EXPECT_NEAR(sigmas[0], 3.0, 1e-14);
    EXPECT_NEAR(sigmas[4], 1e-4, 1e-17);
    EXPECT_EQ(sigmas[5], 0.0);
    EXPECT_THROW(StyleTTS2DiffusionSchedule::karrasSigmas(1, 1e-4, 3.0, 9.0), std::invalid_argument);
}

TEST(StyleTTS2GlueOpsTests, ArraysCarryValuesInAndOutInRowMajorOrder) {
    const auto floats = StyleTTS2MultiArray::makeFloat32(Floats{1, 2, 3, 4, 5, 6}, {1, 2, 3});
    EXPECT_EQ(floats->dataType(), DataType::float32);
    EXPECT_EQ(StyleTTS2MultiArray::shape(*floats), (std::vector<std::int64_t>{1, 2, 3}));
    EXPECT_EQ(StyleTTS2MultiArray::extractFloats(*floats), (Floats{1, 2, 3, 4, 5, 6}));
    const auto ints = StyleTTS2MultiArray::makeInt32(std::vector<std::int32_t>{3, -4}, {2});
    EXPECT_EQ(ints->dataType(), DataType::int32);
    EXPECT_EQ(StyleTTS2MultiArray::extractFloats(*ints), (Floats{3, -4}));
    EXPECT_EQ(StyleTTS2MultiArray::extractFloats(*makeArray({2}, {1.5, -2.0}, DataType::float16)), (Floats{1.5, -2}));
    EXPECT_EQ(StyleTTS2MultiArray::extractFloats(*makeArray({1}, {0.1}, DataType::float64)), Floats{0.1F});

    // Two rows of two values padded to a stride of three: the padding is not data.
    std::vector<float> memory{1, 2, -1, 3, 4, -1};
    const MultiArray padded(memory.data(), {2, 2}, DataType::float32, {3, 1}, nullptr);
    EXPECT_EQ(StyleTTS2MultiArray::extractFloats(padded), (Floats{1, 2, 3, 4}));

    EXPECT_THROW(StyleTTS2MultiArray::makeFloat32(Floats{1, 2, 3}, {1, 2}), platform::ml::ModelError);
    EXPECT_THROW(StyleTTS2MultiArray::makeInt32(std::vector<std::int32_t>{1}, {}), platform::ml::ModelError);
}

} // namespace
} // namespace quorl
