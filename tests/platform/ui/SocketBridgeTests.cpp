#include "BridgeClient.hpp"
#include "RecordingStreamHandler.hpp"
#include "ValuePrinting.hpp"

#include "platform/core/MainQueue.hpp"
#include "platform/core/SystemError.hpp"
#include "platform/sys/UnifiedLog.hpp"
#include "platform/ui/EventChannel.hpp"
#include "platform/ui/MethodChannel.hpp"
#include "platform/ui/SocketBridge.hpp"
#include "tests/support/RecordingLogSink.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <future>
#include <mutex>
#include <optional>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using nlohmann::json;
using platform::core::MainQueue;
using platform::core::SystemError;
using platform::ui::BinaryMessenger;
using platform::ui::BridgeLimits;
using platform::ui::EndOfStream;
using platform::ui::EventChannel;
using platform::ui::MethodCall;
using platform::ui::MethodChannel;
using platform::ui::MethodError;
using platform::ui::MethodResult;
using platform::ui::SocketBridge;
using platform::ui::Value;
using platform::ui::ValueMap;
using uitest::BridgeClient;
using Call = uitest::RecordingStreamHandler::Call;

constexpr const char* eventChannelName = "test/events";

json request(const json& id, const std::string& channel, const std::string& method, const json& arguments = nullptr) {
    return {{"id", id}, {"channel", channel}, {"method", method}, {"arguments", arguments}};
}

json successReply(const json& id, const json& result = nullptr) { return {{"id", id}, {"result", result}}; }

json eventLine(const json& event) { return {{"channel", eventChannelName}, {"event", event}}; }

json badRequest(const json& id, const std::string& message) {
    return {{"id", id}, {"error", {{"code", "bad_request"}, {"message", message}, {"details", nullptr}}}};
}

// A call the test answers itself, whenever it chooses and on its own thread.
class HeldCall {
public:
    void hold(const MethodResult& result) {
        std::lock_guard lock(mutex_);
        result_ = result;
        changed_.notify_all();
    }

    // Waits for the held call; nothing when the guard time runs out first.
    std::optional<MethodResult> wait() {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, std::chrono::seconds(20), [this] { return result_.has_value(); });
        return result_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::optional<MethodResult> result_;
};

// A host with an echoing method channel, a held-call channel and an event channel, served by a bridge whose
// main queue runs on its own thread, as in the host.
class SocketBridgeTest : public testing::Test {
protected:
    SocketBridgeTest() {
        echo.setMethodCallHandler([](const MethodCall& call, const MethodResult& result) {
            if (call.method == "echo") {
                result.success(call.arguments);
            } else if (call.method == "fail") {
                result.error("bad_args", "text is required", ValueMap{{"key", "text"}});
            } else {
                result.notImplemented();
            }
        });
        held.setMethodCallHandler([this](const MethodCall&, const MethodResult& result) { heldCall.hold(result); });
        events.setStreamHandler(&handler);
        bridge.start();
        mainThread = std::thread([this] { queue.run(); });
    }

    ~SocketBridgeTest() override {
        bridge.stop();
        queue.stop();
        mainThread.join();
    }

    // Waits until everything posted to the main queue so far has run.
    void drainMainQueue() {
        std::promise<void> done;
        queue.async([&done] { done.set_value(); });
        done.get_future().wait();
    }

    json roundTrip(BridgeClient& client, const json& message) {
        client.writeJson(message);
        return client.readJson();
    }

    testsupport::TemporaryFolder folder;
    std::filesystem::path socketPath = folder.path() / "run" / "bridge.sock";
    MainQueue queue;
    BinaryMessenger messenger{queue};
    uitest::RecordingStreamHandler handler;
    HeldCall heldCall;
    MethodChannel echo{"test/echo", messenger};
    MethodChannel held{"test/held", messenger};
    EventChannel events{eventChannelName, messenger};
    SocketBridge bridge{messenger, socketPath};
    std::thread mainThread;
};

TEST_F(SocketBridgeTest, RequestsAreAnsweredUnderTheirIdInTheDocumentedShapes) {
    const std::vector<std::pair<json, std::string>> cases = {
        {request("a", "test/echo", "echo",
                 json::parse(R"({"i":1,"d":1.0,"b":{"$bytes":"AAH/"},"f":{"$float32":[0.5]},"l":[null,true,"s"]})")),
         R"({"id":"a","result":{"b":{"$bytes":"AAH/"},"d":1.0,"f":{"$float32":[0.5]},"i":1,"l":[null,true,"s"]}})"},
        {request(json::array({1, 2}), "test/echo", "fail"),
         R"({"error":{"code":"bad_args","details":{"key":"text"},"message":"text is required"},"id":[1,2]})"},
        {request(3, "test/echo", "Echo"), R"({"id":3,"notImplemented":true})"},
        {request(4, "test/nobody", "start"), R"({"id":4,"notImplemented":true})"},
        {request(5, eventChannelName, "start"), R"({"id":5,"notImplemented":true})"},
        {{{"channel", "test/echo"}, {"method", "echo"}}, R"({"id":null,"result":null})"},
    };
    BridgeClient client(socketPath);
    for (const auto& [message, reply] : cases) {
        client.writeJson(message);
        EXPECT_EQ(client.readLine(), reply) << message;
    }
}

TEST_F(SocketBridgeTest, MalformedLinesAreAnsweredAsBadRequestsAndTheConnectionStaysOpen) {
    const std::vector<std::pair<std::string, json>> cases = {
        {"{\"id\": 1, \"channel\": ", badRequest(nullptr, "the line is not valid JSON")},
        {"", badRequest(nullptr, "the line is not valid JSON")},
        {"[1, 2]", badRequest(nullptr, "the request is not a JSON object")},
        {R"({"id": 7, "method": "echo"})", badRequest(7, "\"channel\" must be a non-empty string")},
        {R"({"id": 8, "channel": "", "method": "echo"})", badRequest(8, "\"channel\" must be a non-empty string")},
        {R"({"id": "x", "channel": "test/echo", "method": 5})",
         badRequest("x", "\"method\" must be a non-empty string")},
        {R"({"id": 9, "channel": "test/echo", "method": "echo", "arguments": {"$bytes": "!!"}})",
         badRequest(9, "\"arguments\" is invalid: \"$bytes\" must hold canonical base64 text")},
        {R"({"id": 10, "channel": "test/echo", "method": "echo", "arguments": )" + std::string(1'000'000, '[') +
             std::string(1'000'000, ']') + "}",
         badRequest(10, "the line nests deeper than the bridge accepts")},
    };
    BridgeClient client(socketPath);
    for (const auto& [line, reply] : cases) {
        client.writeLine(line);
        EXPECT_EQ(client.readJson(), reply) << line;
    }
    EXPECT_EQ(roundTrip(client, request(11, "test/echo", "echo", "still here")), successReply(11, "still here"));
}

TEST_F(SocketBridgeTest, AListenerReceivesEventsFromOtherThreadsInOrderUntilItCancels) {
    BridgeClient client(socketPath);
    EXPECT_EQ(roundTrip(client, request(1, eventChannelName, "listen", {{"locale", "en"}})), successReply(1));

    std::thread worker([this] {
        for (int index = 0; index < 300; ++index) {
            handler.emit(ValueMap{{"type", "partial"}, {"index", index}});
        }
        messenger.sendEvent(eventChannelName,
                            MethodError{.code = "1", .message = "Call prepare before start", .details = {}});
        messenger.sendEvent(eventChannelName, EndOfStream{});
    });
    worker.join();
    for (int index = 0; index < 300; ++index) {
        ASSERT_EQ(client.readJson(), eventLine({{"type", "partial"}, {"index", index}})) << index;
    }
    EXPECT_EQ(client.readLine(),
              R"({"channel":"test/events","error":{"code":"1","details":null,"message":"Call prepare before start"}})");
    EXPECT_EQ(client.readLine(), R"({"channel":"test/events","endOfStream":true})");

    EXPECT_EQ(roundTrip(client, request(2, eventChannelName, "cancel")), successReply(2));
    handler.latestSink()(ValueMap{{"type", "partial"}, {"index", -1}});
    EXPECT_EQ(roundTrip(client, request(3, "test/echo", "echo", 3)), successReply(3, 3));
    EXPECT_EQ(handler.calls(), (std::vector<Call>{{.method = "listen", .arguments = ValueMap{{"locale", "en"}}},
                                                  {.method = "cancel", .arguments = nullptr}}));
}

TEST_F(SocketBridgeTest, ARefusedListenIsAnsweredWithTheErrorAndDeliversNothing) {
    handler.refuseListening(MethodError{.code = "permission-denied", .message = "Microphone denied", .details = {}});
    BridgeClient client(socketPath);
    client.writeJson(request(1, eventChannelName, "listen"));
    EXPECT_EQ(client.readLine(),
              R"({"error":{"code":"permission-denied","details":null,"message":"Microphone denied"},"id":1})");
    handler.latestSink()("dropped");
    EXPECT_EQ(roundTrip(client, request(2, "test/echo", "echo")), successReply(2));
}

TEST_F(SocketBridgeTest, ChannelAndMethodNamesBeyondOneKibibyteAreBadRequests) {
    BridgeClient client(socketPath);
    const std::string longName(1025, 'c');
    EXPECT_EQ(roundTrip(client, request(1, longName, "listen")),
              badRequest(1, "\"channel\" is longer than the bridge accepts"));
    EXPECT_EQ(roundTrip(client, request(2, "test/echo", longName)),
              badRequest(2, "\"method\" is longer than the bridge accepts"));
    EXPECT_EQ(roundTrip(client, request(3, std::string(1024, 'c'), "echo")),
              (json{{"id", 3}, {"notImplemented", true}}));
}

// Takes every descriptor the process may still open, under a lowered limit; gives them back when it goes.
class DescriptorExhaustion {
public:
    DescriptorExhaustion() {
        ::getrlimit(RLIMIT_NOFILE, &saved_);
        rlimit lowered = saved_;
        lowered.rlim_cur = std::min<rlim_t>(saved_.rlim_cur, 4096);
        ::setrlimit(RLIMIT_NOFILE, &lowered);
        for (int descriptor = ::dup(0); descriptor >= 0; descriptor = ::dup(0)) {
            taken_.push_back(descriptor);
        }
    }

    ~DescriptorExhaustion() {
        giveOne();
        for (int descriptor : taken_) {
            ::close(descriptor);
        }
        ::setrlimit(RLIMIT_NOFILE, &saved_);
    }

    void giveOne() {
        if (!taken_.empty()) {
            ::close(taken_.back());
            taken_.pop_back();
        }
    }

private:
    rlimit saved_{};
    std::vector<int> taken_;
};

// Waits for the line to be logged, for far longer than it takes.
bool waitForLog(const testsupport::RecordingLogSink& sink, const std::string& line) {
    for (int attempt = 0; attempt < 2000; ++attempt) {
        if (std::ranges::count(sink.messages(), line) > 0) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

TEST_F(SocketBridgeTest, WithoutADescriptorToSpareTheBridgeWaitsLogsOnceAndKeepsServingItsClients) {
    testsupport::RecordingLogSink sink;
    std::optional<BridgeClient> connected(std::in_place, socketPath);
    EXPECT_EQ(roundTrip(*connected, request(1, "test/echo", "echo", 1)), successReply(1, 1));
    std::optional<BridgeClient> waiting;
    // The sanitizers look at unfamiliar objects through a pipe, which cannot be made once the descriptors have
    // run out: a line logged first makes the log sink familiar.
    platform::sys::systemLog("about to run out of descriptors");
    {
        DescriptorExhaustion exhaustion;
        exhaustion.giveOne();
        waiting.emplace(socketPath);
        const std::string line = "Socket bridge cannot accept clients for now: Too many open files";
        ASSERT_TRUE(waitForLog(sink, line));
        EXPECT_EQ(roundTrip(*connected, request(2, "test/echo", "echo", 2)), successReply(2, 2));
        EXPECT_EQ(std::ranges::count(sink.messages(), line), 1);
    }
    // A connection that closes frees a descriptor, and the waiting client is taken in.
    connected.reset();
    EXPECT_EQ(roundTrip(*waiting, request(3, "test/echo", "echo", 3)), successReply(3, 3));
}

// A line that takes long to parse holds up its own client only: another client is answered meanwhile.
TEST_F(SocketBridgeTest, ALongLineBeingParsedDoesNotHoldUpOtherClients) {
    BridgeClient slow(socketPath);
    BridgeClient quick(socketPath);
    std::string line = R"({"id":1,"channel":"test/echo","padding":[)";
    for (int index = 0; index < 3000000; ++index) {
        line += index == 0 ? "0" : ",0";
    }
    line += "]}";
    std::atomic<int> answered{0};
    int slowAnswer = -1;
    std::thread reader([&] {
        slowAnswer = slow.readJson() == badRequest(1, "\"method\" must be a non-empty string") ? answered++ : -1;
    });
    slow.writeLine(line);
    EXPECT_EQ(roundTrip(quick, request(2, "test/echo", "echo", 2)), successReply(2, 2));
    const int quickAnswer = answered++;
    reader.join();
    EXPECT_EQ(quickAnswer, 0);
    EXPECT_EQ(slowAnswer, 1);
}

TEST_F(SocketBridgeTest, AClientThatDisconnectsWhileListeningCancelsItsStream) {
    {
        BridgeClient client(socketPath);
        EXPECT_EQ(roundTrip(client, request(1, eventChannelName, "listen")), successReply(1));
    }
    ASSERT_TRUE(handler.waitForCalls(2));
    EXPECT_EQ(handler.calls()[1], (Call{.method = "cancel", .arguments = nullptr}));
}

TEST_F(SocketBridgeTest, TheLatestListenerGetsTheEventsAndAnEarlierOneCannotEndItsStream) {
    BridgeClient first(socketPath);
    BridgeClient second(socketPath);
    EXPECT_EQ(roundTrip(first, request(1, eventChannelName, "listen")), successReply(1));
    EXPECT_EQ(roundTrip(second, request(1, eventChannelName, "listen")), successReply(1));

    handler.emit("to the second");
    EXPECT_EQ(second.readJson(), eventLine("to the second"));
    EXPECT_EQ(roundTrip(first, request(2, eventChannelName, "cancel")), successReply(2));
    EXPECT_EQ(roundTrip(first, request(3, "test/nobody", "cancel")), json({{"id", 3}, {"notImplemented", true}}));
    handler.emit("still to the second");
    EXPECT_EQ(second.readJson(), eventLine("still to the second"));

    first.disconnect();
    second.disconnect();
    bridge.stop();
    drainMainQueue();
    EXPECT_EQ(handler.calls(), (std::vector<Call>{{.method = "listen", .arguments = nullptr},
                                                  {.method = "listen", .arguments = nullptr},
                                                  {.method = "cancel", .arguments = nullptr}}));
}

TEST_F(SocketBridgeTest, AClientThatDisconnectsMidCallLosesItsReplyWhileAnotherKeepsWorking) {
    BridgeClient leaving(socketPath);
    BridgeClient staying(socketPath);
    leaving.writeJson(request(1, "test/held", "wait"));
    const auto pending = heldCall.wait();
    ASSERT_TRUE(pending.has_value());
    leaving.disconnect();
    std::thread([&pending] { pending->success("too late"); }).join();

    EXPECT_EQ(roundTrip(staying, request(2, "test/echo", "echo", "hello")), successReply(2, "hello"));
}

TEST_F(SocketBridgeTest, StopClosesEveryClientCancelsTheirStreamsAndRemovesTheSocket) {
    BridgeClient client(socketPath);
    EXPECT_EQ(roundTrip(client, request(1, eventChannelName, "listen")), successReply(1));
    bridge.stop();
    bridge.stop();

    EXPECT_TRUE(client.readUntilClosed());
    EXPECT_FALSE(std::filesystem::exists(socketPath));
    drainMainQueue();
    EXPECT_EQ(handler.calls().back(), (Call{.method = "cancel", .arguments = nullptr}));
}

TEST_F(SocketBridgeTest, OnlyThisUserMayConnect) {
    struct stat status {};
    ASSERT_EQ(::lstat(socketPath.c_str(), &status), 0);
    EXPECT_TRUE(S_ISSOCK(status.st_mode));
    EXPECT_EQ(status.st_mode & 0777, 0600u);
}

TEST_F(SocketBridgeTest, AStaleSocketFileIsReplacedButALiveOrForeignOneIsRefused) {
    const auto stalePath = folder.path() / "stale.sock";
    {
        const int leftOver = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, stalePath.c_str(), sizeof address.sun_path - 1);
        ASSERT_EQ(::bind(leftOver, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
        ::close(leftOver);
    }
    SocketBridge replacing(messenger, stalePath);
    replacing.start();
    BridgeClient client(stalePath);
    EXPECT_EQ(roundTrip(client, request(1, "test/echo", "echo", 1)), successReply(1, 1));

    const auto regularPath = folder.path() / "notes.txt";
    std::ofstream(regularPath) << "keep me";
    for (const auto& path : {socketPath, regularPath}) {
        SocketBridge refused(messenger, path);
        try {
            refused.start();
            ADD_FAILURE() << "started at " << path;
        } catch (const SystemError& error) {
            EXPECT_EQ(error.code(), EADDRINUSE);
            EXPECT_EQ(std::string(error.what()),
                      "Cannot listen on the Unix socket at " + path.string() + ": Address already in use");
        }
    }
    EXPECT_TRUE(std::filesystem::is_regular_file(regularPath));
    BridgeClient stillServed(socketPath);
    EXPECT_EQ(roundTrip(stillServed, request(2, "test/echo", "echo", 2)), successReply(2, 2));
}

TEST_F(SocketBridgeTest, AnOverlongLineIsRefusedAndSkippedToItsEnd) {
    const auto path = folder.path() / "short.sock";
    SocketBridge strict(messenger, path, BridgeLimits{.lineLength = 100, .backlog = 1 << 20});
    strict.start();
    BridgeClient client(path);
    const auto overlong = badRequest(nullptr, "the line is longer than the bridge accepts");
    client.writeLine(std::string(300, 'x') + "\n" + request(1, "test/echo", "echo", 1).dump());
    EXPECT_EQ(client.readJson(), overlong);
    EXPECT_EQ(client.readJson(), successReply(1, 1));

    const std::string longRequest = request(2, "test/echo", "echo", std::string(150, 'y')).dump();
    client.write(longRequest.substr(0, 120));
    EXPECT_EQ(client.readJson(), overlong);
    client.writeLine(longRequest.substr(120));
    EXPECT_EQ(roundTrip(client, request(3, "test/echo", "echo", 3)), successReply(3, 3));
}

TEST_F(SocketBridgeTest, AClientThatStopsReadingIsDroppedWithoutHoldingUpTheOthers) {
    const auto path = folder.path() / "small.sock";
    SocketBridge strict(messenger, path, BridgeLimits{.lineLength = 1 << 20, .backlog = 64 * 1024});
    strict.start();
    BridgeClient stalled(path);
    BridgeClient reading(path);
    EXPECT_EQ(roundTrip(stalled, request(1, eventChannelName, "listen")), successReply(1));

    const std::string payload(1024, 'z');
    std::thread worker([this, &payload] {
        for (int index = 0; index < 4000; ++index) {
            handler.emit(payload);
        }
    });
    EXPECT_EQ(roundTrip(reading, request(2, "test/echo", "echo", 2)), successReply(2, 2));
    worker.join();
    EXPECT_TRUE(stalled.readUntilClosed());
    EXPECT_EQ(roundTrip(reading, request(3, "test/echo", "echo", 3)), successReply(3, 3));
}

} // namespace
