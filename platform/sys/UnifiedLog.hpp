#pragma once

#include <memory>
#include <string>

namespace platform::sys {

// The system's structured log: records keep their subsystem, category and type. The process has one sink;
// tests replace it to read back what was logged.
enum class LogType { debug, info, defaultType, error, fault };

struct LogRecord {
    std::string subsystem;
    std::string category;
    LogType type;
    std::string message;
};

class LogSink {
public:
    virtual ~LogSink() = default;
    virtual bool isEnabled(LogType type) const = 0;
    virtual void write(const LogRecord& record) = 0;
};

class UnifiedLog {
public:
    // The current sink; at start, syslog with debug records disabled.
    static std::shared_ptr<LogSink> sink();
    // Installs `sink` and returns the one it replaces.
    static std::shared_ptr<LogSink> setSink(std::shared_ptr<LogSink> sink);
};

// The host's own log line: a record of default type with no subsystem or category, mirrored to standard
// error as the line itself.
void systemLog(const std::string& message);

} // namespace platform::sys
