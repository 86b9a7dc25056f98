#include "platform/ml/ComputeUnits.hpp"

#include <gtest/gtest.h>

namespace {

using platform::ml::ComputeUnits;

TEST(ComputeUnits, RawCodesAndLogNames) {
    const struct {
        ComputeUnits units;
        int code;
        const char* name;
    } cases[] = {
        {ComputeUnits::cpuOnly, 0, "cpuOnly"},
        {ComputeUnits::cpuAndGPU, 1, "cpuAndGPU"},
        {ComputeUnits::all, 2, "all"},
        {ComputeUnits::cpuAndNeuralEngine, 3, "cpuAndNeuralEngine"},
        {static_cast<ComputeUnits>(7), 7, "unknown"},
    };
    for (const auto& testCase : cases) {
        EXPECT_EQ(platform::ml::rawValue(testCase.units), testCase.code);
        EXPECT_EQ(platform::ml::description(testCase.units), testCase.name);
    }
}

} // namespace
