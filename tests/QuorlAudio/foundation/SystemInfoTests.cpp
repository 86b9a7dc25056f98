#include "QuorlAudio/foundation/AppLogger.hpp"
#include "QuorlAudio/foundation/SystemInfo.hpp"
#include "platform/core/TaskGroup.hpp"
#include "tests/support/RecordingLogSink.hpp"

#include <gtest/gtest.h>

namespace {

using quorl::SystemInfo;

TEST(SystemInfo, SummaryKeepsItsFieldsInOrder) {
    const std::string summary = SystemInfo::summary();
    EXPECT_EQ(summary.rfind("Linux ", 0), 0u) << summary;
    std::size_t position = 0;
    for (const char* field : {", arch=", ", chip=", ", cores=", ", mem=", ", rosetta=false"}) {
        const auto found = summary.find(field, position);
        ASSERT_NE(found, std::string::npos) << field << " in " << summary;
        position = found + 1;
    }
    EXPECT_TRUE(summary.ends_with(", rosetta=false")) << summary;
}

TEST(SystemInfo, ChipFallsBackToTheHardwareModelThenToUnknown) {
    EXPECT_EQ(SystemInfo::chipName("Brand CPU", "Board"), "Brand CPU");
    EXPECT_EQ(SystemInfo::chipName(std::nullopt, "Board"), "Board");
    EXPECT_EQ(SystemInfo::chipName(std::nullopt, std::nullopt), "UnknownChip");
}

TEST(SystemInfo, FormatsMemoryInPowersOf1024) {
    const std::pair<std::uint64_t, const char*> cases[] = {
        {0, "0 bytes"},
        {1, "1 byte"},
        {1023, "1023 bytes"},
        {1024, "1 KB"},
        {1536 * 1024, "1.5 MB"},
        {16ull << 30, "16 GB"},
        {(32ull << 30) + (256ull << 20), "32.25 GB"},
        {2ull << 40, "2 TB"},
    };
    for (const auto& [bytes, text] : cases) {
        EXPECT_EQ(SystemInfo::formatMemory(bytes), text) << bytes;
    }
}

TEST(SystemInfo, ReportsResidentMemory) {
    const auto current = SystemInfo::currentResidentMemoryBytes();
    const auto peak = SystemInfo::peakResidentMemoryBytes();
    ASSERT_TRUE(current.has_value());
    ASSERT_TRUE(peak.has_value());
    EXPECT_GE(*peak, *current);
}

TEST(SystemInfo, TheHostLineIsLoggedOnceEvenUnderConcurrentLoads) {
    testsupport::RecordingLogSink sink;
    const quorl::AppLogger logger("ModelRegistry");
    platform::core::TaskGroup group;
    for (int index = 0; index < 8; ++index) {
        group.spawn([&logger] { SystemInfo::logOnce(logger); });
    }
    group.waitAll();
    SystemInfo::logOnce(logger);
    const auto records = sink.records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].message, "Host environment: " + SystemInfo::summary());
    EXPECT_EQ(records[0].type, platform::sys::LogType::info);
}

} // namespace
