#include "Mirvo/ChannelPlugin.hpp"
#include "Mirvo/MethodArguments.hpp"

#include "platform/core/MainQueue.hpp"
#include "platform/ui/BinaryMessenger.hpp"
#include "platform/ui/SocketBridge.hpp"
#include "tests/platform/ui/BridgeClient.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <thread>

namespace mirvo {
namespace {

namespace ui = platform::ui;
using nlohmann::json;

constexpr const char* notesChannel = "test/notes";
constexpr const char* notesEvents = "test/notes_events";

// Keeps notes: "add" needs a non-empty "text", "list" answers the notes kept so far. "fail" emits an error
// event, then answers with the same error, on the main queue; "failElsewhere" does so on a thread of its own.
class NotesPlugin : public ChannelPlugin {
public:
    explicit NotesPlugin(ui::BinaryMessenger& messenger) : ChannelPlugin(messenger, notesChannel, notesEvents) {}

    ~NotesPlugin() override {
        if (elsewhere_.joinable()) {
            elsewhere_.join();
        }
    }

protected:
    void handle(const ui::MethodCall& call, const ui::MethodResult& result) override {
        if (call.method == "add") {
            const auto text = MethodArguments(call.arguments).requiredString("text", "text is required", result);
            if (text) {
                notes_.emplace_back(*text);
                result.success();
            }
        } else if (call.method == "list") {
            result.success(notes_);
        } else if (call.method == "fail") {
            failWith(result);
        } else if (call.method == "failElsewhere") {
            elsewhere_ = std::thread([this, result] { failWith(result); });
        } else {
            ChannelPlugin::handle(call, result);
        }
    }

private:
    void failWith(const ui::MethodResult& result) {
        emitError("full", "no room for notes");
        result.error("full", "no room for notes");
    }

    ui::ValueList notes_;
    std::thread elsewhere_;
};

// The plug-in served through the socket bridge, with the main queue on its own thread as in the host.
class BridgedPluginTests : public ::testing::Test {
protected:
    BridgedPluginTests() {
        bridge.start();
        client.emplace(bridge.socketPath());
        mainThread = std::thread([this] { mainQueue.run(); });
    }

    ~BridgedPluginTests() override {
        bridge.stop();
        mainQueue.stop();
        mainThread.join();
    }

    std::string call(int id, const std::string& method, const json& arguments) {
        client->writeJson({{"id", id}, {"channel", notesChannel}, {"method", method}, {"arguments", arguments}});
        return client->readLine().value_or("<no reply>");
    }

    testsupport::TemporaryFolder folder;
    platform::core::MainQueue mainQueue;
    ui::BinaryMessenger messenger{mainQueue};
    std::shared_ptr<NotesPlugin> plugin = std::make_shared<NotesPlugin>(messenger);
    ui::SocketBridge bridge{messenger, folder.path() / "bridge.sock"};
    std::optional<uitest::BridgeClient> client;
    std::thread mainThread;
};

TEST_F(BridgedPluginTests, MalformedArgumentsAreAnsweredBadArgsWithTheMessageAndChangeNothing) {
    const json malformed[] = {
        nullptr, json::array({"text", "hello"}), {{"text", 5}}, {{"text", ""}}, {{"words", "hello"}},
    };
    int id = 0;
    for (const auto& arguments : malformed) {
        ++id;
        EXPECT_EQ(call(id, "add", arguments),
                  R"({"error":{"code":"bad_args","details":null,"message":"text is required"},"id":)" +
                      std::to_string(id) + "}")
            << arguments;
    }
    EXPECT_EQ(call(10, "list", nullptr), R"({"id":10,"result":[]})");

    EXPECT_EQ(call(11, "Add", {{"text", "hello"}}), R"({"id":11,"notImplemented":true})");
    EXPECT_EQ(call(12, "add", {{"text", "hello"}}), R"({"id":12,"result":null})");
    EXPECT_EQ(call(13, "list", nullptr), R"({"id":13,"result":["hello"]})");
}

// An error event emitted before the reply reaches the client before it, whichever thread gave them.
TEST_F(BridgedPluginTests, AnEventEmittedBeforeAReplyReachesTheClientFirst) {
    client->writeJson({{"id", 1}, {"channel", notesEvents}, {"method", "listen"}});
    ASSERT_EQ(client->readLine(), R"({"id":1,"result":null})");
    const std::string event =
        R"({"channel":"test/notes_events","event":{"code":"full","message":"no room for notes","type":"error"}})";
    int id = 1;
    for (const char* method : {"fail", "failElsewhere"}) {
        ++id;
        EXPECT_EQ(call(id, method, nullptr), event) << method;
        EXPECT_EQ(client->readLine(), R"({"error":{"code":"full","details":null,"message":"no room for notes"},"id":)" +
                                          std::to_string(id) + "}")
            << method;
    }
}

} // namespace
} // namespace mirvo
