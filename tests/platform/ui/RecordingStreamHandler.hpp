#pragma once

#include "platform/ui/EventChannel.hpp"

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace uitest {

// A stream handler that keeps the sink of its latest listen like the host's plug-ins do, records every
// listen and cancel, and can refuse listening. Safe to use from the test thread while the main queue runs
// elsewhere.
class RecordingStreamHandler : public platform::ui::StreamHandler {
public:
    struct Call {
        std::string method;
        platform::ui::Value arguments;
        bool operator==(const Call&) const = default;
    };

    std::optional<platform::ui::MethodError> onListen(const platform::ui::Value& arguments,
                                                      platform::ui::EventSink sink) override;
    std::optional<platform::ui::MethodError> onCancel(const platform::ui::Value& arguments) override;

    void refuseListening(platform::ui::MethodError error);
    // The sink of the latest listen, kept after a cancel so a test can check that it has gone dead.
    platform::ui::EventSink latestSink() const;
    // Sends through the current sink, if any, as a plug-in's emit does.
    void emit(const platform::ui::Value& event) const;

    std::vector<Call> calls() const;
    // Waits until `count` calls were recorded; false when the guard time runs out first.
    bool waitForCalls(std::size_t count) const;

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<Call> calls_;
    platform::ui::EventSink currentSink_;
    platform::ui::EventSink latestSink_;
    std::optional<platform::ui::MethodError> listenError_;
};

} // namespace uitest
