#pragma once

#include "platform/core/CancellationToken.hpp"

namespace platform::core {

// The cancellation token of the work running on this thread, as a task-local value. Task groups and
// queues install their token while they run a job; code deep inside a job reads it without being passed one.
class Task {
public:
    static CancellationToken current();
    static bool isCancelled() { return current().isCancelled(); }
    static void checkCancellation() { current().checkCancellation(); }

    // Makes `token` the current one on this thread until destroyed, then restores the previous one.
    class Scope {
    public:
        explicit Scope(CancellationToken token);
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        CancellationToken previous_;
    };
};

} // namespace platform::core
