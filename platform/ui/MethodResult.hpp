#pragma once

#include "platform/ui/Value.hpp"

#include <functional>
#include <memory>
#include <string>
#include <variant>

namespace platform::core {
class MainQueue;
}

namespace platform::ui {

// An error reply or error event: a code, a message and details (null when none).
struct MethodError {
    std::string code;
    std::string message;
    Value details;
    bool operator==(const MethodError&) const = default;
};

// The reply that says no handler knows the method.
struct NotImplemented {
    bool operator==(const NotImplemented&) const = default;
};

// What a method call is answered with: a value (null for "success, no value"), an error or not-implemented.
using MethodReply = std::variant<Value, MethodError, NotImplemented>;

// The single-shot answer to one method call. Copies share the one answer: the first reply is delivered,
// later ones are ignored. Replies may be given on any thread; each is posted to the main queue and delivered
// there, so replies leave in the order they were given, also relative to events sent before them.
class MethodResult {
public:
    using Deliver = std::function<void(MethodReply)>;

    MethodResult(core::MainQueue& mainQueue, Deliver deliver);

    void success(Value value = {}) const;
    void error(std::string code, std::string message, Value details = {}) const;
    void notImplemented() const;
    // Any of the three, as one value.
    void reply(MethodReply reply) const;

    // Whether a reply has been given.
    bool isAnswered() const;

private:
    struct State;

    std::shared_ptr<State> state_;
};

} // namespace platform::ui
