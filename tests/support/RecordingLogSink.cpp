#include "tests/support/RecordingLogSink.hpp"

namespace testsupport {

using platform::sys::LogRecord;
using platform::sys::LogType;

class RecordingLogSink::Sink final : public platform::sys::LogSink {
public:
    explicit Sink(std::set<LogType> disabled) : disabled_(std::move(disabled)) {}

    bool isEnabled(LogType type) const override { return !disabled_.contains(type); }

    void write(const LogRecord& record) override {
        std::lock_guard lock(mutex);
        records.push_back(record);
    }

    mutable std::mutex mutex;
    std::vector<LogRecord> records;

private:
    std::set<LogType> disabled_;
};

RecordingLogSink::RecordingLogSink(std::set<LogType> disabled)
    : sink_(std::make_shared<Sink>(std::move(disabled))), previous_(platform::sys::UnifiedLog::setSink(sink_)) {}

RecordingLogSink::~RecordingLogSink() { platform::sys::UnifiedLog::setSink(previous_); }

std::vector<LogRecord> RecordingLogSink::records() const {
    std::lock_guard lock(sink_->mutex);
    return sink_->records;
}

namespace {

template <class Predicate>
std::vector<std::string> messagesWhere(const std::vector<LogRecord>& records, Predicate keeps) {
    std::vector<std::string> messages;
    for (const LogRecord& record : records) {
        if (keeps(record)) {
            messages.push_back(record.message);
        }
    }
    return messages;
}

} // namespace

std::vector<std::string> RecordingLogSink::messages() const {
    return messagesWhere(records(), [](const LogRecord&) { return true; });
}

std::vector<std::string> RecordingLogSink::messages(const std::string& category) const {
    return messagesWhere(records(), [&](const LogRecord& record) { return record.category == category; });
}

std::vector<std::string> RecordingLogSink::messages(const std::string& category, LogType type) const {
    return messagesWhere(records(),
                         [&](const LogRecord& record) { return record.category == category && record.type == type; });
}

} // namespace testsupport
