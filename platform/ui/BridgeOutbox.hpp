#pragma once

#include "platform/sys/WakeupSignal.hpp"

#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>

namespace platform::ui {

// The text waiting to be written to one bridge client. The main queue appends replies and events; the
// bridge's I/O thread takes them and writes them when the socket accepts them, so a slow client never
// blocks the main queue. Once closed, appended text is dropped. A client that lets more than the backlog
// limit pile up is marked overflowed and is disconnected rather than let the host's memory grow unbounded.
class BridgeOutbox {
public:
    BridgeOutbox(std::shared_ptr<const sys::WakeupSignal> wakeup, std::size_t backlogLimit);

    void append(std::string_view text);
    // All text appended since the last call.
    std::string take();
    bool hasPending() const;
    bool hasOverflowed() const;
    void close();

private:
    std::shared_ptr<const sys::WakeupSignal> wakeup_;
    const std::size_t backlogLimit_;
    mutable std::mutex mutex_;
    std::string pending_;
    bool closed_ = false;
    bool overflowed_ = false;
};

} // namespace platform::ui
