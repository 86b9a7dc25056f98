#pragma once

#include "platform/core/AsyncStream.hpp"

#include <exception>
#include <mutex>
#include <optional>

namespace quorl {

// Turns the progress of one transcription into a stream of fractions in [0, 1]. A session starts with 0.0
// and, when finished, ends with 1.0; a failed session ends its stream with the error.
class ProgressEmitter {
public:
    using Stream = platform::core::AsyncStream<double>;

    // The current session's stream, starting a session first when there is none.
    Stream ensureSession();
    void report(double progress);
    void finishSession();
    void failSession(std::exception_ptr error);

private:
    Stream startSession();

    std::mutex mutex_;
    std::optional<Stream::Continuation> continuation_;
    std::optional<Stream> streamStorage_;
    bool isActive_ = false;
};

} // namespace quorl
