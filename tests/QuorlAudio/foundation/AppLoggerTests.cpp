#include "QuorlAudio/foundation/AppLogger.hpp"
#include "tests/support/OutputCapture.hpp"
#include "tests/support/RecordingLogSink.hpp"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <string_view>

namespace {

using platform::sys::LogType;
using quorl::AppLogger;
using testsupport::OutputCapture;
using testsupport::RecordingLogSink;

// Replaces the "[HH:mm:ss.SSS] " time field at the start of each captured line by "[time] " so the rest
// can be compared exactly; a malformed time field is left as it is and fails the comparison.
std::string withoutTimes(const std::string& text) {
    const std::string_view shape = "[dd:dd:dd.ddd] ";
    const auto hasTimeAt = [&](std::size_t start) {
        if (text.size() - start < shape.size()) {
            return false;
        }
        for (std::size_t index = 0; index < shape.size(); ++index) {
            const char character = text[start + index];
            if (shape[index] == 'd' ? !std::isdigit(static_cast<unsigned char>(character))
                                    : character != shape[index]) {
                return false;
            }
        }
        return true;
    };
    std::string result;
    for (std::size_t position = 0; position < text.size();) {
        if ((position == 0 || text[position - 1] == '\n') && hasTimeAt(position)) {
            result += "[time] ";
            position += shape.size();
        } else {
            result += text[position++];
        }
    }
    return result;
}

TEST(AppLogger, MirrorsWarningsErrorsAndFaultsToStandardErrorInTheFixedFormat) {
    RecordingLogSink sink;
    OutputCapture stderrCapture;
    const AppLogger logger("ASR");
    logger.debug("d");
    logger.info("i");
    logger.notice("n");
    logger.warning("Expected token confidences but got none - this should not happen");
    logger.error("e");
    logger.fault("f");

    EXPECT_EQ(withoutTimes(stderrCapture.text()),
              "[time] [WARN] [QuorlAudio.ASR] Expected token confidences but got none - this should not happen\n"
              "[time] [ERROR] [QuorlAudio.ASR] e\n"
              "[time] [FAULT] [QuorlAudio.ASR] f\n");

    const auto records = sink.records();
    ASSERT_EQ(records.size(), 6u);
    const LogType types[] = {LogType::debug, LogType::info,  LogType::defaultType,
                             LogType::error, LogType::error, LogType::fault};
    for (std::size_t index = 0; index < records.size(); ++index) {
        EXPECT_EQ(records[index].type, types[index]) << index;
        EXPECT_EQ(records[index].subsystem, "ver.aduzodozururar");
        EXPECT_EQ(records[index].category, "ASR");
    }
    EXPECT_EQ(records[3].message, "Expected token confidences but got none - this should not happen");
}

TEST(AppLogger, StandardErrorDoesNotDependOnTheUnifiedLogBeingEnabled) {
    RecordingLogSink sink({LogType::error});
    OutputCapture stderrCapture;
    const AppLogger logger("ASR");
    logger.warning("kept");
    logger.debug("not mirrored");
    EXPECT_EQ(withoutTimes(stderrCapture.text()), "[time] [WARN] [QuorlAudio.ASR] kept\n");
    ASSERT_EQ(sink.records().size(), 1u);
    EXPECT_EQ(sink.records()[0].message, "not mirrored");
}

TEST(AppLogger, TheLineNamesTheCategoryWhateverTheSubsystem) {
    RecordingLogSink sink;
    OutputCapture stderrCapture;
    AppLogger("rev.ararerezod.evi", "PocketTtsManager").error("boom");
    EXPECT_EQ(withoutTimes(stderrCapture.text()), "[time] [ERROR] [QuorlAudio.PocketTtsManager] boom\n");
    EXPECT_EQ(sink.records().at(0).subsystem, "rev.ararerezod.evi");
}

TEST(AppLogger, MessagesAreWrittenUnchangedWithOneAddedNewline) {
    RecordingLogSink sink;
    OutputCapture stderrCapture;
    const AppLogger logger("X");
    logger.warning("");
    logger.warning("two\nlines");
    EXPECT_EQ(withoutTimes(stderrCapture.text()), "[time] [WARN] [QuorlAudio.X] \n"
                                                  "[time] [WARN] [QuorlAudio.X] two\nlines\n");
}

TEST(AppLogger, AFailedStandardErrorWriteIsReportedOnStandardOutput) {
    RecordingLogSink sink;
    OutputCapture stdoutCapture(STDOUT_FILENO);
    {
        OutputCapture stderrCapture;
        const int readOnly = open("/dev/null", O_RDONLY);
        dup2(readOnly, STDERR_FILENO);
        close(readOnly);
        AppLogger("X").error("lost");
    }
    EXPECT_EQ(stdoutCapture.text().rfind("Failed to write to stderr: ", 0), 0u) << stdoutCapture.text();
}

TEST(AppLogger, DefaultSubsystemIsReadWhenALoggerIsMade) {
    const AppLogger before("A");
    AppLogger::setDefaultSubsystem("changed");
    const AppLogger after("A");
    AppLogger::setDefaultSubsystem("ver.aduzodozururar");
    EXPECT_EQ(before.subsystem(), "ver.aduzodozururar");
    EXPECT_EQ(after.subsystem(), "changed");
}

TEST(AppLoggerLevel, RawValuesAndNames) {
    const std::pair<int, const char*> levels[] = {{0, "DEBUG"}, {1, "INFO"},  {2, "NOTICE"},
                                                  {3, "WARN"},  {4, "ERROR"}, {5, "FAULT"}};
    for (const auto& [raw, name] : levels) {
        const auto level = quorl::levelFromRawValue(raw);
        ASSERT_TRUE(level.has_value());
        EXPECT_EQ(quorl::rawValue(*level), raw);
        EXPECT_STREQ(quorl::description(*level), name);
    }
    EXPECT_FALSE(quorl::levelFromRawValue(6).has_value());
    EXPECT_FALSE(quorl::levelFromRawValue(-1).has_value());
}

} // namespace
