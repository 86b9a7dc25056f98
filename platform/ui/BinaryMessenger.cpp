#include "platform/ui/BinaryMessenger.hpp"

#include "platform/core/MainQueue.hpp"

#include <map>
#include <mutex>

namespace platform::ui {

namespace {

// A handler or receiver together with the id of its installation; shared so that a job can tell at delivery
// whether what it captured is still current.
template <typename Function> struct Installed {
    BinaryMessenger::HandlerId id;
    Function function;
};

template <typename Function> using InstalledMap = std::map<std::string, std::shared_ptr<const Installed<Function>>>;

template <typename Function>
void install(InstalledMap<Function>& map, const std::string& channel, BinaryMessenger::HandlerId id,
             Function function) {
    if (function) {
        map[channel] =
            std::make_shared<const Installed<Function>>(Installed<Function>{.id = id, .function = std::move(function)});
    } else {
        map.erase(channel);
    }
}

template <typename Function>
bool removeIfCurrent(InstalledMap<Function>& map, const std::string& channel, BinaryMessenger::HandlerId id) {
    auto found = map.find(channel);
    if (found == map.end() || found->second->id != id) {
        return false;
    }
    map.erase(found);
    return true;
}

template <typename Function>
std::shared_ptr<const Installed<Function>> lookUp(const InstalledMap<Function>& map, const std::string& channel) {
    auto found = map.find(channel);
    return found == map.end() ? nullptr : found->second;
}

} // namespace

struct BinaryMessenger::Routes {
    mutable std::mutex mutex;
    HandlerId lastId = 0;
    InstalledMap<MessageHandler> handlers;
    InstalledMap<EventReceiver> receivers;

    std::shared_ptr<const Installed<MessageHandler>> handler(const std::string& channel) const {
        std::lock_guard lock(mutex);
        return lookUp(handlers, channel);
    }

    std::shared_ptr<const Installed<EventReceiver>> receiver(const std::string& channel) const {
        std::lock_guard lock(mutex);
        return lookUp(receivers, channel);
    }
};

BinaryMessenger::BinaryMessenger(core::MainQueue& mainQueue)
    : mainQueue_(mainQueue), routes_(std::make_shared<Routes>()) {}

BinaryMessenger::HandlerId BinaryMessenger::setMessageHandler(const std::string& channel, MessageHandler handler) {
    std::lock_guard lock(routes_->mutex);
    const auto id = ++routes_->lastId;
    install(routes_->handlers, channel, id, std::move(handler));
    return id;
}

void BinaryMessenger::removeMessageHandler(const std::string& channel, HandlerId id) {
    std::lock_guard lock(routes_->mutex);
    removeIfCurrent(routes_->handlers, channel, id);
}

bool BinaryMessenger::hasMessageHandler(const std::string& channel) const {
    return routes_->handler(channel) != nullptr;
}

void BinaryMessenger::send(const std::string& channel, MethodCall call, ReplyHandler onReply) {
    auto deliver = [onReply = std::move(onReply)](const MethodReply& reply) {
        if (onReply) {
            onReply(reply);
        }
    };
    // The handler is looked up on the main queue, so a call sent just before the handler is installed or
    // removed meets the state of the moment it is handled.
    mainQueue_.async(
        [&mainQueue = mainQueue_, routes = routes_, channel, call = std::move(call), deliver = std::move(deliver)] {
            const MethodResult result(mainQueue, deliver);
            if (const auto handler = routes->handler(channel)) {
                handler->function(call, result);
            } else {
                result.notImplemented();
            }
        });
}

void BinaryMessenger::sendEvent(const std::string& channel, const EventMessage& message) {
    auto receiver = routes_->receiver(channel);
    if (!receiver) {
        return;
    }
    // On the main queue the event is given where it stands among the replies: a plug-in's events reach the
    // main queue through a job of their own, and posting them once more would let a reply the plug-in gave
    // after the event overtake it.
    if (mainQueue_.isCurrent()) {
        receiver->function(message);
        return;
    }
    mainQueue_.async([routes = routes_, channel, receiver = std::move(receiver), message] {
        if (routes->receiver(channel) == receiver) {
            receiver->function(message);
        }
    });
}

BinaryMessenger::HandlerId BinaryMessenger::setEventReceiver(const std::string& channel, EventReceiver receiver) {
    std::lock_guard lock(routes_->mutex);
    const auto id = ++routes_->lastId;
    install(routes_->receivers, channel, id, std::move(receiver));
    return id;
}

bool BinaryMessenger::removeEventReceiver(const std::string& channel, HandlerId id) {
    std::lock_guard lock(routes_->mutex);
    return removeIfCurrent(routes_->receivers, channel, id);
}

} // namespace platform::ui
