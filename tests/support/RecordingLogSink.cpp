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

} // namespace testsupport
