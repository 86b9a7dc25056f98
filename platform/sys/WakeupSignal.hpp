#pragma once

#include "platform/sys/FileDescriptor.hpp"

namespace platform::sys {

// Wakes a thread that waits in poll(): signal() from any thread makes the descriptor readable until the
// waiting thread drains it.
class WakeupSignal {
public:
    // Throws platform::core::SystemError when the descriptor cannot be made.
    WakeupSignal();

    int descriptor() const { return eventFile_.get(); }
    void signal() const;
    void drain() const;

private:
    FileDescriptor eventFile_;
};

} // namespace platform::sys
