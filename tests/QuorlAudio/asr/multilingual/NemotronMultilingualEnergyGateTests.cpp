#include "QuorlAudio/asr/multilingual/NemotronMultilingualEnergyGate.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace quorl {
namespace {

using Settings = NemotronMultilingualEnergyGate::Settings;

TEST(NemotronMultilingualEnergyGateTests, TheThresholdIsANumberStrictlyBetweenZeroAndOne) {
    EXPECT_FLOAT_EQ(Settings::parseRmsThreshold("0.01"), 0.01F);
    for (const std::optional<std::string>& off :
         std::vector<std::optional<std::string>>{std::nullopt, "0", "1", "1.5", "-0.2", "abc", "nan", " 0.01", ""}) {
        EXPECT_EQ(Settings::parseRmsThreshold(off), 0.0F) << off.value_or("(absent)");
    }
}

TEST(NemotronMultilingualEnergyGateTests, TheHangoverIsAWholeDecimalOfAtLeastOne) {
    EXPECT_EQ(Settings::parseHangoverChunks("+3"), 3);
    EXPECT_EQ(Settings::parseHangoverChunks("1"), 1);
    for (const std::optional<std::string>& fallback :
         std::vector<std::optional<std::string>>{std::nullopt, "0", "-1", "x", " 3", "", "99999999999999999999"}) {
        EXPECT_EQ(Settings::parseHangoverChunks(fallback), 2) << fallback.value_or("(absent)");
    }
}

TEST(NemotronMultilingualEnergyGateTests, QuietChunksAreSkippedOnlyAfterTheHangoverUntilALoudOne) {
    NemotronMultilingualEnergyGate gate(Settings{.rmsThreshold = 0.1F, .hangoverChunks = 2});
    const std::vector<float> quiet(100, 0.01F);
    const std::vector<float> loud(100, 0.5F);
    EXPECT_FALSE(gate.skips(quiet));
    EXPECT_TRUE(gate.skips(quiet));
    EXPECT_TRUE(gate.skips({}));
    EXPECT_EQ(gate.consecutiveLowChunks(), 3);
    EXPECT_FALSE(gate.skips(loud));
    EXPECT_EQ(gate.consecutiveLowChunks(), 0);
    EXPECT_FALSE(gate.skips(quiet));
}

TEST(NemotronMultilingualEnergyGateTests, AnOffGateCountsNothing) {
    NemotronMultilingualEnergyGate gate(Settings{.rmsThreshold = 0, .hangoverChunks = 1});
    EXPECT_FALSE(gate.enabled());
    EXPECT_FALSE(gate.skips({}));
    EXPECT_EQ(gate.consecutiveLowChunks(), 0);
}

} // namespace
} // namespace quorl
