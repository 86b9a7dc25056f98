#include "platform/desktop/EventTap.hpp"

#include "platform/desktop/KeyEventRouter.hpp"
#include "platform/desktop/KeyboardSession.hpp"
#include "platform/desktop/TapState.hpp"

#include <utility>

namespace platform::desktop {

std::shared_ptr<EventTap> EventTap::create(KeyboardSession& session, Callback callback) {
    if (!session.accessibility().isProcessTrusted()) {
        return nullptr;
    }
    return std::make_shared<EventTap>(Passkey(), session, std::move(callback));
}

EventTap::EventTap(Passkey, KeyboardSession& session, Callback callback)
    : state_(std::make_shared<TapState>(std::move(callback), session.router_)) {
    session.router_->add(state_);
}

EventTap::~EventTap() { state_->invalidate(); }

std::shared_ptr<RunLoopSource> EventTap::runLoopSource() { return state_->runLoopSource(); }

void EventTap::enable(bool enabled) { state_->enable(enabled); }

bool EventTap::isEnabled() const { return state_->isEnabled(); }

void EventTap::limitWithholdingTo(std::set<std::uint16_t> keyCodes) { state_->limitWithholdingTo(std::move(keyCodes)); }

void EventTap::invalidate() { state_->invalidate(); }

bool EventTap::isValid() const { return state_->isValid(); }

} // namespace platform::desktop
