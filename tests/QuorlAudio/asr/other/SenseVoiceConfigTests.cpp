#include "QuorlAudio/asr/other/SenseVoiceConfig.hpp"
#include "QuorlAudio/asr/other/SenseVoiceEncoderPrecision.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace quorl {
namespace {

using platform::core::allCases;
using platform::core::fromRawValue;
using platform::ml::ComputeUnits;

TEST(SenseVoiceConfigTests, PickBucketTakesTheFirstBucketThatHoldsTheFramesElseTheLargest) {
    const struct {
        int frames;
        int bucket;
    } cases[] = {{0, 128}, {128, 128}, {129, 256}, {1000, 1024}, {1025, 1800}, {1800, 1800}, {9000, 1800}};
    for (const auto& c : cases) {
        EXPECT_EQ(SenseVoiceConfig::pickBucket(c.frames), c.bucket) << c.frames;
    }
}

TEST(SenseVoiceConfigTests, EachPrecisionNamesItsEncoderAndComputeUnits) {
    const struct {
        SenseVoiceEncoderPrecision precision;
        const char* raw;
        const char* encoder;
        ComputeUnits units;
    } cases[] = {
        {SenseVoiceEncoderPrecision::fp16, "fp16", "SenseVoiceSmall", ComputeUnits::cpuAndNeuralEngine},
        {SenseVoiceEncoderPrecision::int8, "int8", "SenseVoiceSmall_int8", ComputeUnits::cpuAndNeuralEngine},
        {SenseVoiceEncoderPrecision::fp32, "fp32", "SenseVoiceSmall_fp32", ComputeUnits::all},
    };
    std::vector<SenseVoiceEncoderPrecision> inOrder;
    for (const auto& c : cases) {
        EXPECT_EQ(rawValue(c.precision), c.raw);
        EXPECT_EQ(encoderBaseName(c.precision), c.encoder);
        EXPECT_EQ(encoderComputeUnits(c.precision), c.units);
        EXPECT_EQ(fromRawValue<SenseVoiceEncoderPrecision>(c.raw), c.precision);
        inOrder.push_back(c.precision);
    }
    const auto all = allCases<SenseVoiceEncoderPrecision>();
    EXPECT_EQ(std::vector(all.begin(), all.end()), inOrder);
    for (const char* refused : {"", "FP16", "int4", "fp16 "}) {
        EXPECT_EQ(fromRawValue<SenseVoiceEncoderPrecision>(refused), std::nullopt) << refused;
    }
}

} // namespace
} // namespace quorl
