#include "QuorlAudio/foundation/ProgressEmitter.hpp"

#include <algorithm>
#include <cmath>

namespace quorl {

ProgressEmitter::Stream ProgressEmitter::ensureSession() {
    std::lock_guard lock(mutex_);
    return startSession();
}

void ProgressEmitter::report(double progress) {
    std::lock_guard lock(mutex_);
    if (!isActive_) {
        return;
    }
    continuation_->yield(std::isnan(progress) ? progress : std::clamp(progress, 0.0, 1.0));
}

void ProgressEmitter::finishSession() {
    std::lock_guard lock(mutex_);
    if (!isActive_) {
        return;
    }
    continuation_->yield(1.0);
    continuation_->finish();
    continuation_.reset();
    streamStorage_.reset();
    isActive_ = false;
}

void ProgressEmitter::failSession(std::exception_ptr error) {
    std::lock_guard lock(mutex_);
    if (continuation_) {
        continuation_->fail(std::move(error));
    }
    continuation_.reset();
    streamStorage_.reset();
    isActive_ = false;
}

ProgressEmitter::Stream ProgressEmitter::startSession() {
    if (streamStorage_) {
        return *streamStorage_;
    }
    auto [stream, continuation] = Stream::makeStream();
    streamStorage_ = stream;
    continuation_ = continuation;
    isActive_ = true;
    continuation.yield(0.0);
    return stream;
}

} // namespace quorl
