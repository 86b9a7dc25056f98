#include "RecordingStreamHandler.hpp"

#include "platform/core/MainQueue.hpp"
#include "platform/core/ThreadPool.hpp"
#include "platform/sys/FileDescriptor.hpp"
#include "platform/sys/WakeupSignal.hpp"
#include "platform/ui/BinaryMessenger.hpp"
#include "platform/ui/BridgeConnection.hpp"
#include "platform/ui/EventChannel.hpp"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <memory>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using platform::ui::BridgeConnection;
using platform::ui::MethodError;

// One connection over a socket pair, its main queue driven by the test thread.
class BridgeConnectionTest : public testing::Test {
protected:
    BridgeConnectionTest() {
        int ends[2] = {-1, -1};
        EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, ends), 0);
        client = platform::sys::FileDescriptor(ends[0]);
        connection = std::make_unique<BridgeConnection>(platform::sys::FileDescriptor(ends[1]), messenger, pool, wakeup,
                                                        platform::ui::BridgeLimits{});
        events.setStreamHandler(&handler);
        mainThread = std::thread([this] { queue.run(); });
    }

    ~BridgeConnectionTest() override {
        connection->close();
        queue.stop();
        mainThread.join();
    }

    // Writes the request, lets the connection read it, and waits until its reply can be written back.
    void send(const nlohmann::json& request) {
        const std::string line = request.dump() + "\n";
        ASSERT_EQ(::write(client.get(), line.data(), line.size()), static_cast<ssize_t>(line.size()));
        ASSERT_TRUE(connection->service(POLLIN));
        // The reply, written to the connection's outbox once the main queue has handled the request, wakes
        // the bridge.
        pollfd woken{.fd = wakeup->descriptor(), .events = POLLIN, .revents = 0};
        ASSERT_EQ(::poll(&woken, 1, 60000), 1);
        wakeup->drain();
    }

    platform::core::ThreadPool pool{1};
    std::shared_ptr<const platform::sys::WakeupSignal> wakeup = std::make_shared<const platform::sys::WakeupSignal>();
    platform::core::MainQueue queue;
    platform::ui::BinaryMessenger messenger{queue};
    uitest::RecordingStreamHandler handler;
    platform::ui::EventChannel events{"test/events", messenger};
    platform::sys::FileDescriptor client;
    std::unique_ptr<BridgeConnection> connection;
    std::thread mainThread;
};

TEST_F(BridgeConnectionTest, AListenThatIsRefusedOrUnansweredLeavesNoEntryBehind) {
    handler.refuseListening(MethodError{.code = "denied", .message = "no", .details = {}});
    send({{"id", 1}, {"channel", "test/events"}, {"method", "listen"}});
    send({{"id", 2}, {"channel", "test/nobody"}, {"method", "listen"}});
    EXPECT_TRUE(connection->listenedChannels().empty());
}

TEST_F(BridgeConnectionTest, AnAcceptedListenIsKeptUntilCancelled) {
    send({{"id", 1}, {"channel", "test/events"}, {"method", "listen"}});
    EXPECT_EQ(connection->listenedChannels(), std::vector<std::string>{"test/events"});
    send({{"id", 2}, {"channel", "test/events"}, {"method", "cancel"}});
    EXPECT_TRUE(connection->listenedChannels().empty());
}

} // namespace
