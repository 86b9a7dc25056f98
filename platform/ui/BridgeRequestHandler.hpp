#pragma once

#include "platform/core/ThreadPool.hpp"
#include "platform/sys/WakeupSignal.hpp"
#include "platform/ui/BinaryMessenger.hpp"
#include "platform/ui/BridgeOutbox.hpp"

#include <cstddef>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace platform::ui {

struct BridgeRequest;

// Handles the request lines of one bridge client away from the bridge's I/O thread: parsing a long line takes
// long, and must not hold up the other clients. The lines run on a pool the bridge's clients share, one at a
// time and in arrival order for each client; their replies and events go to the client's outbox.
class BridgeRequestHandler : public std::enable_shared_from_this<BridgeRequestHandler> {
public:
    struct Limits {
        // The longest line handled; a longer one is refused.
        std::size_t lineLength;
        // Bytes of lines that may wait; the connection stops reading while more do.
        std::size_t backlog;
    };

    BridgeRequestHandler(BinaryMessenger& messenger, std::shared_ptr<BridgeOutbox> outbox, core::ThreadPool& pool,
                         std::shared_ptr<const sys::WakeupSignal> wakeup, Limits limits);

    // Queues a line, without its newline.
    void post(std::string line);
    // Queues the "bad_request" answer to a line longer than the limit.
    void refuseLongLine();
    bool isBacklogged() const;

    // The event channels this client listens to, in name order.
    std::vector<std::string> listenedChannels() const;

    // Drops the lines still waiting and cancels the streams the client still listens to.
    void close();

private:
    struct Line {
        std::string text;
        bool tooLong;
    };

    void enqueue(Line line);
    void drain();
    void handle(const Line& line);
    void handleLine(std::string_view line);
    void handleRequest(BridgeRequest request);
    void listen(BridgeRequest request);
    void cancel(BridgeRequest request);
    void forward(BridgeRequest request, BinaryMessenger::ReplyHandler afterReply = {});
    void forgetRefusedListen(const std::string& channel, BinaryMessenger::HandlerId receiverId);

    BinaryMessenger& messenger_;
    const std::shared_ptr<BridgeOutbox> outbox_;
    core::ThreadPool& pool_;
    const std::shared_ptr<const sys::WakeupSignal> wakeup_;
    const Limits limits_;

    mutable std::mutex mutex_;
    std::deque<Line> waiting_;
    std::size_t waitingBytes_ = 0;
    bool draining_ = false;
    bool closed_ = false;
    // The event channels this client listens to, with the id of the receiver installed for it.
    std::map<std::string, BinaryMessenger::HandlerId> receivers_;
};

} // namespace platform::ui
