#include "platform/ui/MethodResult.hpp"

#include "platform/core/MainQueue.hpp"

#include <atomic>

namespace platform::ui {

struct MethodResult::State {
    State(core::MainQueue& queue, Deliver delivery) : mainQueue(queue), deliver(std::move(delivery)) {}

    core::MainQueue& mainQueue;
    Deliver deliver;
    std::atomic<bool> answered{false};
};

MethodResult::MethodResult(core::MainQueue& mainQueue, Deliver deliver)
    : state_(std::make_shared<State>(mainQueue, std::move(deliver))) {}

void MethodResult::success(Value value) const { reply(std::move(value)); }

void MethodResult::error(std::string code, std::string message, Value details) const {
    reply(MethodError{.code = std::move(code), .message = std::move(message), .details = std::move(details)});
}

void MethodResult::notImplemented() const { reply(NotImplemented{}); }

bool MethodResult::isAnswered() const { return state_->answered.load(); }

void MethodResult::reply(MethodReply reply) const {
    if (state_->answered.exchange(true)) {
        return;
    }
    // Posted even on the main queue: delivering at once there could overtake a reply or an event that
    // another thread posted earlier.
    state_->mainQueue.async([state = state_, reply = std::move(reply)]() mutable {
        if (state->deliver) {
            state->deliver(std::move(reply));
        }
    });
}

} // namespace platform::ui
