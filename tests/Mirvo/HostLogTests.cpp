#include "Mirvo/HostLog.hpp"

#include "tests/support/OutputCapture.hpp"
#include "tests/support/RecordingLogSink.hpp"

#include <gtest/gtest.h>

namespace mirvo {
namespace {

TEST(HostLogTests, LinesGoToTheSystemLogWithTheHostPrefix) {
    testsupport::RecordingLogSink log;
    testsupport::OutputCapture standardError;
    hostLog("hotkey stop");

    EXPECT_EQ(standardError.text(), "Mirvo: hotkey stop\n");

    const auto records = log.records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].message, "Mirvo: hotkey stop");
    EXPECT_EQ(records[0].type, platform::sys::LogType::defaultType);
}

} // namespace
} // namespace mirvo
