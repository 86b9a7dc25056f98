#include "platform/ui/BridgeConnection.hpp"

#include "platform/ui/BridgeLines.hpp"
#include "platform/ui/BridgeRequest.hpp"
#include "platform/ui/BridgeRequestError.hpp"

#include <nlohmann/json.hpp>

#include <array>
#include <cerrno>
#include <optional>
#include <utility>
#include <poll.h>
#include <sys/socket.h>

namespace platform::ui {

namespace {

constexpr std::size_t readChunkSize = 64 * 1024;
// Values are converted, copied and freed recursively, so a line that nests deeper than any request needs
// could exhaust the stack; its deeper parts are left out while it is parsed, and it is refused.
constexpr int maximumNesting = 256;

std::string badRequestLine(const nlohmann::json& id, const BridgeRequestError& error) {
    return replyLine(id, MethodError{.code = BridgeRequestError::code, .message = error.what(), .details = {}});
}

bool wouldBlock(int errnoValue) { return errnoValue == EAGAIN || errnoValue == EWOULDBLOCK; }

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

BridgeConnection::BridgeConnection(sys::FileDescriptor socket, BinaryMessenger& messenger,
                                   std::shared_ptr<const sys::WakeupSignal> wakeup, const BridgeLimits& limits)
    : socket_(std::move(socket)), messenger_(messenger),
      outbox_(std::make_shared<BridgeOutbox>(std::move(wakeup), limits.backlog)),
      maximumLineLength_(limits.lineLength) {}

short BridgeConnection::wantedEvents() const {
    const bool hasOutput = outputOffset_ < output_.size() || outbox_->hasPending();
    return static_cast<short>(POLLIN | (hasOutput ? POLLOUT : 0));
}

bool BridgeConnection::service(short events) {
    if (outbox_->hasOverflowed() || (events & (POLLERR | POLLNVAL)) != 0) {
        return false;
    }
    if ((events & (POLLIN | POLLHUP)) != 0 && !readAvailable()) {
        return false;
    }
    return (events & POLLOUT) == 0 || writePending();
}

std::vector<std::string> BridgeConnection::listenedChannels() const {
    std::lock_guard lock(receivers_->mutex);
    std::vector<std::string> channels;
    for (const auto& [channel, receiverId] : receivers_->byChannel) {
        channels.push_back(channel);
    }
    return channels;
}

void BridgeConnection::close() {
    // A client that goes away stops listening, but only where no later client has taken its place.
    std::map<std::string, BinaryMessenger::HandlerId> listened;
    {
        std::lock_guard lock(receivers_->mutex);
        listened = std::exchange(receivers_->byChannel, {});
    }
    for (const auto& [channel, receiverId] : listened) {
        if (messenger_.removeEventReceiver(channel, receiverId)) {
            messenger_.send(channel, MethodCall{.method = "cancel", .arguments = {}}, {});
        }
    }
    outbox_->close();
    socket_.reset();
}

// One read per wake-up, so that a client that writes without pause cannot starve the others.
bool BridgeConnection::readAvailable() {
    std::array<char, readChunkSize> chunk{};
    const auto count = ::recv(socket_.get(), chunk.data(), chunk.size(), MSG_DONTWAIT);
    if (count == 0) {
        return false;
    }
    if (count < 0) {
        return wouldBlock(errno) || errno == EINTR;
    }
    const auto searchFrom = input_.size();
    input_.append(chunk.data(), static_cast<std::size_t>(count));
    handleInput(searchFrom);
    return true;
}

bool BridgeConnection::writePending() {
    if (outputOffset_ == output_.size()) {
        output_ = outbox_->take();
        outputOffset_ = 0;
    }
    while (outputOffset_ < output_.size()) {
        const auto count = ::send(socket_.get(), output_.data() + outputOffset_, output_.size() - outputOffset_,
                                  MSG_DONTWAIT | MSG_NOSIGNAL);
        if (count < 0) {
            return wouldBlock(errno) || errno == EINTR;
        }
        outputOffset_ += static_cast<std::size_t>(count);
    }
    return true;
}

// Only the text read last can hold a new line end: what came before was searched already. A line longer
// than the limit is refused whether it arrived whole or is still arriving, and skipped up to its end.
void BridgeConnection::handleInput(std::size_t searchFrom) {
    std::size_t lineStart = 0;
    for (auto newline = input_.find('\n', searchFrom); newline != std::string::npos;
         newline = input_.find('\n', lineStart)) {
        const auto line = std::string_view(input_).substr(lineStart, newline - lineStart);
        if (skippingLongLine_) {
            skippingLongLine_ = false;
        } else if (line.size() > maximumLineLength_) {
            refuseLongLine();
        } else {
            handleLine(line);
        }
        lineStart = newline + 1;
    }
    input_.erase(0, lineStart);
    if (!skippingLongLine_ && input_.size() > maximumLineLength_) {
        refuseLongLine();
        skippingLongLine_ = true;
    }
    if (skippingLongLine_) {
        input_.clear();
    }
}

void BridgeConnection::refuseLongLine() { outbox_->append(badRequestLine(nullptr, BridgeRequestError::lineTooLong())); }

void BridgeConnection::handleLine(std::string_view line) {
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

void BridgeConnection::handleRequest(BridgeRequest request) {
    if (request.call.method == "listen") {
        listen(std::move(request));
    } else if (request.call.method == "cancel") {
        cancel(std::move(request));
    } else {
        forward(std::move(request));
    }
}

// The client becomes the receiver before the handler hears of it, so that no event sent right after the
// handler's answer can miss it; if the handler refuses, the receiver is taken away again.
void BridgeConnection::listen(BridgeRequest request) {
    const auto channel = request.channel;
    const auto receiverId =
        messenger_.setEventReceiver(channel, [outbox = outbox_, channel](const EventMessage& message) {
            outbox->append(eventLine(channel, message));
        });
    {
        std::lock_guard lock(receivers_->mutex);
        receivers_->byChannel[channel] = receiverId;
    }
    // A refused listen leaves nothing behind, so that refused listens cannot grow the host's memory.
    forward(std::move(request),
            [&messenger = messenger_, receivers = receivers_, channel, receiverId](const MethodReply& reply) {
                if (std::holds_alternative<Value>(reply)) {
                    return;
                }
                messenger.removeEventReceiver(channel, receiverId);
                std::lock_guard lock(receivers->mutex);
                const auto found = receivers->byChannel.find(channel);
                if (found != receivers->byChannel.end() && found->second == receiverId) {
                    receivers->byChannel.erase(found);
                }
            });
}

// Only the current listener's "cancel" reaches the handler: a client that is not listening (any more) must
// not end the stream of the client that is.
void BridgeConnection::cancel(BridgeRequest request) {
    std::optional<BinaryMessenger::HandlerId> receiverId;
    {
        std::lock_guard lock(receivers_->mutex);
        if (const auto found = receivers_->byChannel.find(request.channel); found != receivers_->byChannel.end()) {
            receiverId = found->second;
            receivers_->byChannel.erase(found);
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

void BridgeConnection::forward(BridgeRequest request, BinaryMessenger::ReplyHandler afterReply) {
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
