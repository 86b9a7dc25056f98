#include "platform/sys/UnifiedLog.hpp"
#include "tests/support/OutputCapture.hpp"
#include "tests/support/RecordingLogSink.hpp"

#include <gtest/gtest.h>

namespace {

using platform::sys::LogType;

TEST(SystemLog, WritesARecordAndTheBareLineToStandardError) {
    testsupport::RecordingLogSink sink;
    testsupport::OutputCapture stderrCapture;
    platform::sys::systemLog("Mirvo: hotkey stop");
    const auto records = sink.records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].message, "Mirvo: hotkey stop");
    EXPECT_EQ(records[0].type, LogType::defaultType);
    EXPECT_EQ(stderrCapture.text(), "Mirvo: hotkey stop\n");
}

TEST(UnifiedLog, SetSinkReturnsThePreviousSinkForRestoring) {
    auto original = platform::sys::UnifiedLog::sink();
    {
        testsupport::RecordingLogSink sink;
        EXPECT_NE(platform::sys::UnifiedLog::sink(), original);
    }
    EXPECT_EQ(platform::sys::UnifiedLog::sink(), original);
}

} // namespace
