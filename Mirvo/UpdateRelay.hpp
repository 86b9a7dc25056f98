#pragma once

#include "platform/core/DedicatedTask.hpp"

#include <functional>
#include <memory>
#include <string>

namespace quorl {
class SlidingWindowAsrManager;
}

namespace mirvo {

// Turns a recogniser's transcription updates into partial texts, on a thread of its own, from construction
// until destruction. Each text is the whole transcript so far, never a delta and never empty.
class UpdateRelay {
public:
    // Receives each partial text on the relay's thread.
    using Partial = std::function<void(const std::string& text)>;

    // Subscribes to the recogniser's updates before returning, so no update published afterwards is missed.
    UpdateRelay(std::shared_ptr<quorl::SlidingWindowAsrManager> recogniser, Partial partial);
    // Cancels the relay and waits for it: once this returns, no partial text is given any more.
    ~UpdateRelay();
    UpdateRelay(const UpdateRelay&) = delete;
    UpdateRelay& operator=(const UpdateRelay&) = delete;

    // The non-empty ones of the confirmed and the volatile transcript, in that order, joined by one space;
    // the update's own text when both are empty.
    static std::string partialText(const std::string& confirmed, const std::string& volatileText,
                                   const std::string& updateText);

private:
    platform::core::DedicatedTask task_;
};

} // namespace mirvo
