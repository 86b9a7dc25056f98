#include "platform/sys/UnifiedLog.hpp"

#include "platform/sys/StandardError.hpp"

#include <syslog.h>

#include <mutex>
#include <utility>

namespace platform::sys {

namespace {

class SyslogSink final : public LogSink {
public:
    bool isEnabled(LogType type) const override { return type != LogType::debug; }

    void write(const LogRecord& record) override {
        const std::string origin =
            record.subsystem.empty() ? record.category : record.subsystem + ":" + record.category;
        if (origin.empty()) {
            syslog(priority(record.type), "%s", record.message.c_str());
        } else {
            syslog(priority(record.type), "[%s] %s", origin.c_str(), record.message.c_str());
        }
    }

private:
    static int priority(LogType type) {
        switch (type) {
        case LogType::debug: return LOG_DEBUG;
        case LogType::info: return LOG_INFO;
        case LogType::defaultType: return LOG_NOTICE;
        case LogType::error: return LOG_ERR;
        case LogType::fault: return LOG_CRIT;
        }
        return LOG_NOTICE;
    }
};

std::mutex sinkMutex;
std::shared_ptr<LogSink> currentSink = std::make_shared<SyslogSink>();

} // namespace

std::shared_ptr<LogSink> UnifiedLog::sink() {
    std::lock_guard lock(sinkMutex);
    return currentSink;
}

std::shared_ptr<LogSink> UnifiedLog::setSink(std::shared_ptr<LogSink> sink) {
    std::lock_guard lock(sinkMutex);
    return std::exchange(currentSink, std::move(sink));
}

void systemLog(const std::string& message) {
    auto sink = UnifiedLog::sink();
    if (sink->isEnabled(LogType::defaultType)) {
        sink->write(LogRecord{"", "", LogType::defaultType, message});
    }
    try {
        StandardError::write(message + "\n");
    } catch (const std::exception&) {
        // The record above is the log of record; a closed standard error must not stop the host.
    }
}

} // namespace platform::sys
