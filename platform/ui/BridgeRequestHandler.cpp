#include "platform/ui/BridgeRequestHandler.hpp"

#include "platform/ui/BridgeLines.hpp"
#include "platform/ui/BridgeRequest.hpp"
#include "platform/ui/BridgeRequestError.hpp"

#include <nlohmann/json.hpp>

#include <optional>
#include <utility>

namespace platform::ui {

namespace {

// Values are converted, copied and freed recursively, so a line that nests deeper than any request needs
// could exhaust the stack; its deeper parts are left out while it is parsed, and it is refused.
constexpr int maximumNesting = 256;

std::string badRequestLine(const nlohmann::json& id, const BridgeRequestError& error) {
    return replyLine(id, MethodError{.code = BridgeRequestError::code, .message = error.what(), .details = {}});
}

// The line's JSON without what lies deeper than the nesting limit; `tooDeep` tells whether anything did.
nlohmann::json parseWithinNesting(std::string_view line, bool& tooDeep) {
    return nlohmann::json::parse(
        line,
        [&tooDeep](int depth, nlohmann::json::parse_event_t, nlohmann::json&) {
            tooDeep = tooDeep || depth > maximumNesting;
            return depth <= maximumNesting;
        },
        false);
}

} // namespace

BridgeRequestHandler::BridgeRequestHandler(BinaryMessenger& messenger, std::shared_ptr<BridgeOutbox> outbox,
                                           core::ThreadPool& pool, std::shared_ptr<const sys::WakeupSignal> wakeup,
                                           Limits limits)
    : messenger_(messenger), outbox_(std::move(outbox)), pool_(pool), wakeup_(std::move(wakeup)), limits_(limits) {}

void BridgeRequestHandler::post(std::string line) { enqueue(Line{.text = std::move(line), .tooLong = false}); }

void BridgeRequestHandler::refuseLongLine() { enqueue(Line{.text = {}, .tooLong = true}); }

bool BridgeRequestHandler::isBacklogged() const {
    std::lock_guard lock(mutex_);
    return waitingBytes_ > limits_.backlog;
}

std::vector<std::string> BridgeRequestHandler::listenedChannels() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> channels;
    for (const auto& [channel, receiverId] : receivers_) {
        channels.push_back(channel);
    }
    return channels;
}

void BridgeRequestHandler::close() {
    std::map<std::string, BinaryMessenger::HandlerId> listened;
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
        waiting_.clear();
        waitingBytes_ = 0;
        listened = std::exchange(receivers_, {});
    }
    // A client that goes away stops listening, but only where no later client has taken its place.
    for (const auto& [channel, receiverId] : listened) {
        if (messenger_.removeEventReceiver(channel, receiverId)) {
            messenger_.send(channel, MethodCall{.method = "cancel", .arguments = {}}, {});
        }
    }
}

void BridgeRequestHandler::enqueue(Line line) {
    {
        std::lock_guard lock(mutex_);
        if (closed_) {
            return;
        }
        waitingBytes_ += line.text.size();
        waiting_.push_back(std::move(line));
        if (std::exchange(draining_, true)) {
            return;
        }
    }
    pool_.submit([self = shared_from_this()] { self->drain(); });
}

// Runs the waiting lines in order until none is left; a line posted meanwhile is taken by this same run.
void BridgeRequestHandler::drain() {
    while (true) {
        Line line;
        bool wasBacklogged = false;
        {
            std::lock_guard lock(mutex_);
            if (closed_ || waiting_.empty()) {
                draining_ = false;
                return;
            }
            line = std::move(waiting_.front());
            waiting_.pop_front();
            wasBacklogged = waitingBytes_ > limits_.backlog;
            waitingBytes_ -= line.text.size();
        }
        // The connection stopped reading while the lines piled up; it may read again.
        if (wasBacklogged) {
            wakeup_->signal();
        }
        handle(line);
    }
}

void BridgeRequestHandler::handle(const Line& line) {
    if (line.tooLong) {
        outbox_->append(badRequestLine(nullptr, BridgeRequestError::lineTooLong()));
    } else {
        handleLine(line.text);
    }
}

void BridgeRequestHandler::handleLine(std::string_view line) {
    bool tooDeep = false;
    const auto document = parseWithinNesting(line, tooDeep);
    if (tooDeep && !document.is_discarded()) {
        outbox_->append(badRequestLine(requestId(document), BridgeRequestError::nestedTooDeeply()));
        return;
    }
    try {
        handleRequest(BridgeRequest::parse(document));
    } catch (const BridgeRequestError& error) {
        outbox_->append(badRequestLine(requestId(document), error));
    }
}

void BridgeRequestHandler::handleRequest(BridgeRequest request) {
    if (request.call.method == "listen") {
        listen(std::move(request));
    } else if (request.call.method == "cancel") {
        cancel(std::move(request));
    } else {
        forward(std::move(request));
    }
}

// The client becomes the receiver before the handler hears of it, so that no event sent right after the
// handler's answer can miss it; if the handler refuses, the receiver is taken away again, and so is the
// client's entry, so that refused listens cannot grow the host's memory.
void BridgeRequestHandler::listen(BridgeRequest request) {
    const auto channel = request.channel;
    BinaryMessenger::HandlerId receiverId = 0;
    {
        std::lock_guard lock(mutex_);
        if (closed_) {
            return;
        }
        receiverId = messenger_.setEventReceiver(channel, [outbox = outbox_, channel](const EventMessage& message) {
            outbox->append(eventLine(channel, message));
        });
        receivers_[channel] = receiverId;
    }
    forward(std::move(request), [weakSelf = weak_from_this(), channel, receiverId](const MethodReply& reply) {
        const auto self = weakSelf.lock();
        if (self && !std::holds_alternative<Value>(reply)) {
            self->forgetRefusedListen(channel, receiverId);
        }
    });
}

void BridgeRequestHandler::forgetRefusedListen(const std::string& channel, BinaryMessenger::HandlerId receiverId) {
    messenger_.removeEventReceiver(channel, receiverId);
    std::lock_guard lock(mutex_);
    const auto found = receivers_.find(channel);
    if (found != receivers_.end() && found->second == receiverId) {
        receivers_.erase(found);
    }
}

// Only the current listener's "cancel" reaches the handler: a client that is not listening (any more) must
// not end the stream of the client that is.
void BridgeRequestHandler::cancel(BridgeRequest request) {
    std::optional<BinaryMessenger::HandlerId> receiverId;
    {
        std::lock_guard lock(mutex_);
        if (const auto found = receivers_.find(request.channel); found != receivers_.end()) {
            receiverId = found->second;
            receivers_.erase(found);
        }
    }
    const bool isListening = receiverId && messenger_.removeEventReceiver(request.channel, *receiverId);
    if (isListening) {
        forward(std::move(request));
    } else if (messenger_.hasMessageHandler(request.channel)) {
        outbox_->append(replyLine(request.id, Value()));
    } else {
        outbox_->append(replyLine(request.id, NotImplemented{}));
    }
}

void BridgeRequestHandler::forward(BridgeRequest request, BinaryMessenger::ReplyHandler afterReply) {
    messenger_.send(
        request.channel, std::move(request.call),
        [outbox = outbox_, id = std::move(request.id), afterReply = std::move(afterReply)](const MethodReply& reply) {
            if (afterReply) {
                afterReply(reply);
            }
            outbox->append(replyLine(id, reply));
        });
}

} // namespace platform::ui
