#include "ChannelHarness.hpp"

#include "Mirvo/GlobalHotkeyTap.hpp"

#include "platform/desktop/X11KeyboardSession.hpp"
#include "tests/platform/ui/ValuePrinting.hpp"
#include "tests/support/FocusedWindow.hpp"
#include "tests/support/XTestKeyboard.hpp"
#include "tests/support/XvfbServer.hpp"

#include <X11/keysym.h>
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <vector>

namespace mirvo {
namespace {

namespace ui = platform::ui;
using testsupport::FocusedWindow;

constexpr const char* eventChannel = "mirvo/hotkey_events";

const ui::Value pushToTalkStart = ui::ValueMap{{"type", "start"}, {"mode", "ptt"}};
const ui::Value stopEvent = ui::ValueMap{{"type", "stop"}};
const ui::Value lockEvent = ui::ValueMap{{"type", "mode"}, {"mode", "locked"}};

// The hotkey tap on the keyboard of an Xvfb display of the test's own, with a focused window that records what
// reaches it, and a user pressing keys through XTest. The test thread drives the main queue on the real clock.
class GlobalHotkeyTapX11Test : public ::testing::Test {
protected:
    void SetUp() override {
        if (!testsupport::XvfbServer::binary()) {
            GTEST_SKIP() << "no Xvfb binary on the PATH (scripts/install-deps installs it)";
        }
        server.emplace();
        window = std::make_unique<FocusedWindow>(server->display());
        session = platform::desktop::X11KeyboardSession::open(server->display());
        ASSERT_NE(session, nullptr);
        keyboard = std::make_unique<testsupport::XTestKeyboard>(server->display());
        plugin = std::make_shared<GlobalHotkeyTap>(harness.messenger(), *session);
        harness.listen(eventChannel);
        ASSERT_EQ(harness.call("mirvo/hotkey", "start"), ui::MethodReply(ui::Value(true)));
    }

    void TearDown() override {
        plugin.reset();
        harness.runUntilIdle();
    }

    // The hotkey events, once there are `count` of them (or after a generous bound).
    std::vector<ui::Value> eventsOnceThereAre(std::size_t count) {
        harness.runUntil([&] { return harness.events(eventChannel).size() >= count; });
        return harness.events(eventChannel);
    }

    // Holds whatever is held for a while, answering the keyboard meanwhile.
    void waitFor(std::chrono::milliseconds duration) {
        const auto until = std::chrono::steady_clock::now() + duration;
        harness.runUntil([&] { return std::chrono::steady_clock::now() >= until; });
    }

    // Types a key that the tap passes, and drives the main queue until the window has it: every key before it
    // has then been decided and has arrived, or not.
    void typeSentinel(int keycode) {
        keyboard->tap(keycode);
        harness.runUntil([&] { return window->keys().size() >= 2 && window->keys().back().keycode == keycode; });
    }

    std::optional<testsupport::XvfbServer> server;
    std::unique_ptr<FocusedWindow> window;
    std::unique_ptr<platform::desktop::X11KeyboardSession> session;
    std::unique_ptr<testsupport::XTestKeyboard> keyboard;
    testing::ChannelHarness harness;
    std::shared_ptr<GlobalHotkeyTap> plugin;
};

TEST_F(GlobalHotkeyTapX11Test, HoldingTheBindingStartsAndReleasingItStopsWithoutTheKeyReachingTheWindow) {
    // "fn" is the right Control key on X.
    const int binding = keyboard->keycode(XK_Control_R);
    keyboard->key(binding, true);
    EXPECT_EQ(eventsOnceThereAre(1), std::vector{pushToTalkStart});
    waitFor(std::chrono::milliseconds(450));
    keyboard->key(binding, false);
    EXPECT_EQ(eventsOnceThereAre(2), (std::vector{pushToTalkStart, stopEvent}));
    const int sentinel = keyboard->keycode(XK_a);
    typeSentinel(sentinel);
    EXPECT_EQ(window->keys(), (std::vector<FocusedWindow::Key>{{.keycode = sentinel, .press = true},
                                                               {.keycode = sentinel, .press = false}}));
}

TEST_F(GlobalHotkeyTapX11Test, TheSpaceOfAChordLocksTheRecordingAndNeverReachesTheWindow) {
    ASSERT_EQ(harness.call("mirvo/hotkey", "setBinding", ui::ValueMap{{"key", "rightCommand"}}),
              ui::MethodReply(ui::Value()));
    // "rightCommand" is the right Super key on X.
    const int binding = keyboard->keycode(XK_Super_R);
    const int space = keyboard->keycode(XK_space);
    keyboard->key(binding, true);
    keyboard->tap(space);
    keyboard->key(binding, false);
    EXPECT_EQ(eventsOnceThereAre(2), (std::vector{pushToTalkStart, lockEvent}));
    // Locked: the next press and release of the binding stops.
    keyboard->tap(binding);
    EXPECT_EQ(eventsOnceThereAre(3), (std::vector{pushToTalkStart, lockEvent, stopEvent}));
    const int sentinel = keyboard->keycode(XK_a);
    typeSentinel(sentinel);
    EXPECT_EQ(window->keys(), (std::vector<FocusedWindow::Key>{{.keycode = sentinel, .press = true},
                                                               {.keycode = sentinel, .press = false}}));
}

} // namespace
} // namespace mirvo
