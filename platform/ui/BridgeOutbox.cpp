#include "platform/ui/BridgeOutbox.hpp"

namespace platform::ui {

BridgeOutbox::BridgeOutbox(std::shared_ptr<const sys::WakeupSignal> wakeup, std::size_t backlogLimit)
    : wakeup_(std::move(wakeup)), backlogLimit_(backlogLimit) {}

void BridgeOutbox::append(std::string_view text) {
    {
        std::lock_guard lock(mutex_);
        if (closed_ || overflowed_) {
            return;
        }
        if (pending_.size() + text.size() > backlogLimit_) {
            overflowed_ = true;
            pending_.clear();
        } else {
            pending_.append(text);
        }
    }
    wakeup_->signal();
}

std::string BridgeOutbox::take() {
    std::lock_guard lock(mutex_);
    return std::exchange(pending_, {});
}

bool BridgeOutbox::hasPending() const {
    std::lock_guard lock(mutex_);
    return !pending_.empty();
}

bool BridgeOutbox::hasOverflowed() const {
    std::lock_guard lock(mutex_);
    return overflowed_;
}

void BridgeOutbox::close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
    pending_.clear();
}

} // namespace platform::ui
