#include "RecordingStreamHandler.hpp"

#include <chrono>

namespace uitest {

using platform::ui::EventSink;
using platform::ui::MethodError;
using platform::ui::Value;

std::optional<MethodError> RecordingStreamHandler::onListen(const Value& arguments, EventSink sink) {
    std::lock_guard lock(mutex_);
    if (!listenError_) {
        currentSink_ = sink;
    }
    latestSink_ = std::move(sink);
    calls_.push_back(Call{.method = "listen", .arguments = arguments});
    changed_.notify_all();
    return listenError_;
}

std::optional<MethodError> RecordingStreamHandler::onCancel(const Value& arguments) {
    std::lock_guard lock(mutex_);
    currentSink_ = nullptr;
    calls_.push_back(Call{.method = "cancel", .arguments = arguments});
    changed_.notify_all();
    return std::nullopt;
}

void RecordingStreamHandler::refuseListening(MethodError error) {
    std::lock_guard lock(mutex_);
    listenError_ = std::move(error);
}

EventSink RecordingStreamHandler::latestSink() const {
    std::lock_guard lock(mutex_);
    return latestSink_;
}

void RecordingStreamHandler::emit(const Value& event) const {
    EventSink sink;
    {
        std::lock_guard lock(mutex_);
        sink = currentSink_;
    }
    if (sink) {
        sink(event);
    }
}

std::vector<RecordingStreamHandler::Call> RecordingStreamHandler::calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

bool RecordingStreamHandler::waitForCalls(std::size_t count) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(20), [&] { return calls_.size() >= count; });
}

} // namespace uitest
