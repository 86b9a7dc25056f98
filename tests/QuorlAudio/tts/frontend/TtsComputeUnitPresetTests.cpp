#include "QuorlAudio/tts/frontend/TtsComputeUnitPreset.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace quorl {
namespace {

using platform::ml::ComputeUnits;
using Preset = TtsComputeUnitPreset;

TEST(TtsComputeUnitPresetTests, CommandLineFormsIgnoreLetterCaseButNothingElse) {
    const struct {
        std::string text;
        std::optional<Preset> preset;
    } cases[] = {
        {"default", Preset::defaultConfig},
        {"all-ane", Preset::allAne},
        {"ANE", Preset::allAne},
        {"Neural-Engine", Preset::allAne},
        {"cpu-and-gpu", Preset::cpuAndGpu},
        {"cpuandgpu", Preset::cpuAndGpu},
        {"GPU", Preset::cpuAndGpu},
        {"cpu-only", Preset::cpuOnly},
        {"Cpu", Preset::cpuOnly},
        {"CPUONLY", Preset::cpuOnly},
        {"ane-tail-gpu", Preset::aneTailGpu},
        {"AneTailGpu", Preset::aneTailGpu},
        {"M5", Preset::aneTailGpu},
        {" ane", std::nullopt},
        {"all_ane", std::nullopt},
        {"", std::nullopt},
        {"ane ", std::nullopt},
        {"allane", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(presetFromCliValue(c.text), c.preset) << '"' << c.text << '"';
    }
}

TEST(TtsComputeUnitPresetTests, RawValuesMatchExactly) {
    using platform::core::fromRawValue;
    for (const auto preset : platform::core::allCases<Preset>()) {
        EXPECT_EQ(fromRawValue<Preset>(rawValue(preset)), preset);
    }
    for (const auto* text : {"all-ane", "allane", "AllAne", "Default", ""}) {
        EXPECT_EQ(fromRawValue<Preset>(text), std::nullopt) << text;
    }
}

TEST(TtsComputeUnitPresetTests, EachCaseNamesItsFormsAndUnitsInTableOrder) {
    const struct {
        Preset preset;
        std::string rawValue;
        std::string cliValue;
        std::optional<ComputeUnits> units;
    } rows[] = {
        {Preset::defaultConfig, "default", "default", std::nullopt},
        {Preset::allAne, "allAne", "all-ane", ComputeUnits::cpuAndNeuralEngine},
        {Preset::cpuAndGpu, "cpuAndGpu", "cpu-and-gpu", ComputeUnits::cpuAndGPU},
        {Preset::cpuOnly, "cpuOnly", "cpu-only", ComputeUnits::cpuOnly},
        {Preset::aneTailGpu, "aneTailGpu", "ane-tail-gpu", std::nullopt},
    };
    std::vector<Preset> expectedOrder;
    for (const auto& row : rows) {
        EXPECT_EQ(rawValue(row.preset), row.rawValue);
        EXPECT_EQ(cliValue(row.preset), row.cliValue);
        EXPECT_EQ(uniformUnits(row.preset), row.units) << row.rawValue;
        EXPECT_EQ(presetFromCliValue(row.cliValue), row.preset);
        expectedOrder.push_back(row.preset);
    }
    const auto all = platform::core::allCases<Preset>();
    EXPECT_EQ(std::vector<Preset>(all.begin(), all.end()), expectedOrder);
}

} // namespace
} // namespace quorl
