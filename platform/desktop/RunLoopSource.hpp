#pragma once

#include <atomic>

namespace platform::core {
class MainQueue;
}

namespace platform::desktop {

// Connects an event tap to a run loop: while the source is added to a queue, the tap's callback runs there,
// one event per job. A tap without an added source sees no events (they pass it untouched).
class RunLoopSource {
public:
    RunLoopSource() = default;
    RunLoopSource(const RunLoopSource&) = delete;
    RunLoopSource& operator=(const RunLoopSource&) = delete;

    // Adding to a second queue moves the source there.
    void addTo(core::MainQueue& queue);
    void remove();

    // The queue the source is added to, or null.
    core::MainQueue* queue() const;

private:
    // Read by the threads that inject events.
    std::atomic<core::MainQueue*> queue_ = nullptr;
};

} // namespace platform::desktop
