#include "platform/desktop/TapState.hpp"

#include "platform/desktop/KeyEventRouter.hpp"
#include "platform/desktop/RunLoopSource.hpp"

#include <utility>

namespace platform::desktop {

TapState::TapState(EventTap::Callback callback, std::weak_ptr<KeyEventRouter> router)
    : callback_(std::move(callback)), router_(std::move(router)) {}

void TapState::enable(bool enabled) {
    enabled_ = enabled && valid_;
    if (auto router = router_.lock()) {
        router->tapsChanged();
    }
}

void TapState::limitWithholdingTo(std::set<std::uint16_t> keyCodes) {
    {
        std::lock_guard lock(keysMutex_);
        withheldKeys_ = std::move(keyCodes);
    }
    if (auto router = router_.lock()) {
        router->tapsChanged();
    }
}

std::optional<std::set<std::uint16_t>> TapState::withheldKeys() const {
    std::lock_guard lock(keysMutex_);
    return withheldKeys_;
}

void TapState::invalidate() {
    {
        std::lock_guard guard(callbackMutex_);
        valid_ = false;
        enabled_ = false;
    }
    if (auto router = router_.lock()) {
        router->remove(*this);
    }
}

std::shared_ptr<RunLoopSource> TapState::runLoopSource() {
    std::lock_guard lock(sourceMutex_);
    if (!source_) {
        source_ = std::make_shared<RunLoopSource>();
    }
    return source_;
}

core::MainQueue* TapState::sourceQueue() const {
    std::lock_guard lock(sourceMutex_);
    return source_ ? source_->queue() : nullptr;
}

core::MainQueue* TapState::eventQueue() const { return enabled_ && valid_ ? sourceQueue() : nullptr; }

std::optional<KeyEvent> TapState::handle(const KeyEvent& event) {
    std::lock_guard guard(callbackMutex_);
    if (!enabled_ || !valid_) {
        return event;
    }
    return callback_(event);
}

void TapState::notify(const KeyEvent& notice) {
    std::lock_guard guard(callbackMutex_);
    if (valid_) {
        callback_(notice);
    }
}

} // namespace platform::desktop
