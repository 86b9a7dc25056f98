#include "QuorlAudio/diarization/streaming/config/SortformerConfig.hpp"
#include "QuorlAudio/diarization/streaming/config/SortformerModelPrecision.hpp"
#include "QuorlAudio/diarization/streaming/config/SortformerVariant.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace quorl {
namespace {

using Variant = SortformerVariant;

struct VariantRow {
    Variant variant;
    std::string name;
    const SortformerConfig& preset;
};

const std::vector<VariantRow>& variantRows() {
    static const std::vector<VariantRow> rows = {
        {Variant::fastV2, "Sortformer_v2", SortformerConfig::fastV2()},
        {Variant::fastV2_1, "Sortformer_v2.1", SortformerConfig::fastV2_1()},
        {Variant::balancedV2, "SortformerNvidiaLow_v2", SortformerConfig::balancedV2()},
        {Variant::balancedV2_1, "SortformerNvidiaLow_v2.1", SortformerConfig::balancedV2_1()},
        {Variant::highContextV2, "SortformerNvidiaHigh_v2", SortformerConfig::highContextV2()},
        {Variant::highContextV2_1, "SortformerNvidiaHigh_v2.1", SortformerConfig::highContextV2_1()},
        {Variant::efficientV2_1, "SortformerEfficient_v2.1", SortformerConfig::efficientV2_1()},
    };
    return rows;
}

TEST(SortformerVariantTests, EveryVariantHasItsNameAndItsOwnPreset) {
    const auto cases = platform::core::allCases<Variant>();
    ASSERT_EQ(cases.size(), variantRows().size());
    for (std::size_t index = 0; index < cases.size(); ++index) {
        const auto& row = variantRows()[index];
        SCOPED_TRACE(row.name);
        EXPECT_EQ(cases[index], row.variant);
        EXPECT_EQ(name(row.variant), row.name);
        EXPECT_EQ(&defaultConfiguration(row.variant), &row.preset);
        EXPECT_EQ(defaultConfiguration(row.variant).modelVariant, row.variant);
    }
}

TEST(SortformerVariantTests, CompatibilityFollowsThePresetGeometry) {
    EXPECT_EQ(defaultConfiguration(Variant::highContextV2).chunkLen, 340);
    EXPECT_TRUE(isCompatible(Variant::balancedV2, SortformerConfig::balancedV2_1()));
    EXPECT_TRUE(isCompatible(Variant::fastV2, SortformerConfig::defaultConfig()));
    EXPECT_FALSE(isCompatible(Variant::fastV2_1, SortformerConfig::balancedV2_1()));
    EXPECT_FALSE(isCompatible(Variant::fastV2_1, SortformerConfig::efficientV2_1()));
    EXPECT_FALSE(isCompatible(Variant::efficientV2_1, SortformerConfig::highContextV2()));

    const SortformerConfig shiftedContext(std::nullopt, SortformerModelPrecision::palettized, 5, 2, 7, 40, 188);
    EXPECT_TRUE(isCompatible(Variant::fastV2_1, shiftedContext));
    EXPECT_FALSE(isCompatible(Variant::balancedV2_1, shiftedContext));
}

TEST(SortformerModelPrecisionTests, RawValuesMatchExactly) {
    const auto cases = platform::core::allCases<SortformerModelPrecision>();
    ASSERT_EQ(cases.size(), 2U);
    EXPECT_EQ(cases[0], SortformerModelPrecision::fp16);
    EXPECT_EQ(cases[1], SortformerModelPrecision::palettized);
    EXPECT_EQ(rawValue(SortformerModelPrecision::fp16), "fp16");
    EXPECT_EQ(rawValue(SortformerModelPrecision::palettized), "palettized");
    EXPECT_EQ(platform::core::fromRawValue<SortformerModelPrecision>("palettized"),
              SortformerModelPrecision::palettized);
    EXPECT_EQ(platform::core::fromRawValue<SortformerModelPrecision>("fp16"), SortformerModelPrecision::fp16);
    for (const char* unknown : {"FP16", "Palettized", "fp32", "", "fp16 "}) {
        EXPECT_EQ(platform::core::fromRawValue<SortformerModelPrecision>(unknown), std::nullopt) << unknown;
    }
}

} // namespace
} // namespace quorl
