#include "platform/sys/SystemFacts.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace {

using platform::sys::SystemFacts;

TEST(SystemFacts, DescribeThisMachine) {
    EXPECT_EQ(SystemFacts::operatingSystemName(), "Linux");
    EXPECT_FALSE(SystemFacts::operatingSystemVersion().empty());
    EXPECT_FALSE(SystemFacts::architecture().empty());
    EXPECT_GE(SystemFacts::activeProcessorCount(), 1);
    EXPECT_GE(SystemFacts::processorCount(), SystemFacts::activeProcessorCount());
    EXPECT_GT(SystemFacts::physicalMemoryBytes(), 0u);
}

TEST(SystemFacts, ResidentMemoryGrowsWithTouchedPagesAndPeakNeverTrailsIt) {
    const auto before = SystemFacts::residentMemoryBytes();
    ASSERT_TRUE(before.has_value());
    std::vector<char> block(64 * 1024 * 1024, 1);
    const auto after = SystemFacts::residentMemoryBytes();
    const auto peak = SystemFacts::peakResidentMemoryBytes();
    ASSERT_TRUE(after.has_value());
    ASSERT_TRUE(peak.has_value());
    EXPECT_GE(*after, *before + 32u * 1024 * 1024);
    EXPECT_GE(*peak, *after);
    EXPECT_EQ(block[block.size() - 1], 1);
}

} // namespace
