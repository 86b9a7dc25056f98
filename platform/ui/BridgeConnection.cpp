#include "platform/ui/BridgeConnection.hpp"

#include <array>
#include <cerrno>
#include <poll.h>
#include <string_view>
#include <sys/socket.h>

namespace platform::ui {

namespace {

constexpr std::size_t readChunkSize = 64 * 1024;

bool wouldBlock(int errnoValue) { return errnoValue == EAGAIN || errnoValue == EWOULDBLOCK; }

} // namespace

BridgeConnection::BridgeConnection(sys::FileDescriptor socket, BinaryMessenger& messenger,
                                   core::ThreadPool& requestPool, std::shared_ptr<const sys::WakeupSignal> wakeup,
                                   const BridgeLimits& limits)
    : socket_(std::move(socket)), outbox_(std::make_shared<BridgeOutbox>(wakeup, limits.backlog)),
      requests_(std::make_shared<BridgeRequestHandler>(
          messenger, outbox_, requestPool, std::move(wakeup),
          BridgeRequestHandler::Limits{.lineLength = limits.lineLength, .backlog = limits.lineLength})),
      maximumLineLength_(limits.lineLength) {}

short BridgeConnection::wantedEvents() const {
    const bool hasOutput = outputOffset_ < output_.size() || outbox_->hasPending();
    const bool takesInput = !requests_->isBacklogged();
    return static_cast<short>((takesInput ? POLLIN : 0) | (hasOutput ? POLLOUT : 0));
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

std::vector<std::string> BridgeConnection::listenedChannels() const { return requests_->listenedChannels(); }

void BridgeConnection::close() {
    requests_->close();
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
            requests_->refuseLongLine();
        } else {
            requests_->post(std::string(line));
        }
        lineStart = newline + 1;
    }
    input_.erase(0, lineStart);
    if (!skippingLongLine_ && input_.size() > maximumLineLength_) {
        requests_->refuseLongLine();
        skippingLongLine_ = true;
    }
    if (skippingLongLine_) {
        input_.clear();
    }
}

} // namespace platform::ui
