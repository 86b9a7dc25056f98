#include "QuorlAudio/tts/supertonic3/Supertonic3VectorEstimator.hpp"
#include "QuorlAudio/tts/supertonic3/Supertonic3Voice.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace quorl {
namespace {

using platform::core::allCases;
using platform::core::fromRawValue;

TEST(Supertonic3VoiceTests, NamesMatchInAnyCaseButRawValuesOnlyInUpperCase) {
    EXPECT_EQ(supertonic3VoiceNamed("f3"), Supertonic3Voice::f3);
    EXPECT_EQ(supertonic3VoiceNamed("M3"), Supertonic3Voice::m3);
    EXPECT_EQ(fromRawValue<Supertonic3Voice>("F3"), Supertonic3Voice::f3);
    EXPECT_EQ(fromRawValue<Supertonic3Voice>("f3"), std::nullopt);
    EXPECT_EQ(supertonic3VoiceNamed("F6"), std::nullopt);
    EXPECT_EQ(supertonic3VoiceNamed(""), std::nullopt);
}

TEST(Supertonic3VoiceTests, ListsTenVoicesWithTheirStyleFiles) {
    const auto voices = allCases<Supertonic3Voice>();
    ASSERT_EQ(voices.size(), 10U);
    EXPECT_EQ(voices.front(), Supertonic3Voice::f1);
    EXPECT_EQ(voices.back(), Supertonic3Voice::m5);
    EXPECT_EQ(fileName(Supertonic3Voice::f3), "voice_styles/F3.json");
    EXPECT_EQ(fileName(defaultSupertonic3Voice), "voice_styles/M1.json");
}

TEST(Supertonic3VoiceTests, VectorEstimatorsNameTheirDownloadVariant) {
    using Estimator = Supertonic3VectorEstimator;
    const struct {
        Estimator estimator;
        std::optional<std::string> variant;
    } cases[] = {
        {Estimator::dynamic(Supertonic3Quantization::int8), "dyn-int8"},
        {Estimator::dynamic(Supertonic3Quantization::int6), "dyn-int6"},
        {Estimator::aneBucketed(Supertonic3Quantization::int8), "ane-int8"},
        {Estimator::fp16Dynamic(), std::nullopt},
    };
    for (const auto& entry : cases) {
        EXPECT_EQ(entry.estimator.downloadVariant(), entry.variant);
    }
}

TEST(Supertonic3VoiceTests, VectorEstimatorsAreEqualByCaseAndQuantization) {
    using Estimator = Supertonic3VectorEstimator;
    EXPECT_EQ(Estimator::aneBucketed(Supertonic3Quantization::int4), Estimator::defaultEstimator());
    EXPECT_NE(Estimator::aneBucketed(Supertonic3Quantization::int4),
              Estimator::aneBucketed(Supertonic3Quantization::int8));
    EXPECT_NE(Estimator::aneBucketed(Supertonic3Quantization::int4), Estimator::dynamic(Supertonic3Quantization::int4));
    EXPECT_EQ(Estimator::fp16Dynamic(), Estimator::fp16Dynamic());
}

} // namespace
} // namespace quorl
