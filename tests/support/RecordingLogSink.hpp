#pragma once

#include "platform/sys/UnifiedLog.hpp"

#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace testsupport {

// Replaces the unified-log sink while alive and keeps every record written to it.
class RecordingLogSink {
public:
    explicit RecordingLogSink(std::set<platform::sys::LogType> disabled = {});
    ~RecordingLogSink();
    RecordingLogSink(const RecordingLogSink&) = delete;
    RecordingLogSink& operator=(const RecordingLogSink&) = delete;

    std::vector<platform::sys::LogRecord> records() const;
    // The messages of the records, in the order written: all of them, those of one category, or those of one
    // category and type.
    std::vector<std::string> messages() const;
    std::vector<std::string> messages(const std::string& category) const;
    std::vector<std::string> messages(const std::string& category, platform::sys::LogType type) const;

private:
    class Sink;
    std::shared_ptr<Sink> sink_;
    std::shared_ptr<platform::sys::LogSink> previous_;
};

} // namespace testsupport
