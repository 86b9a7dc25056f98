#include "platform/core/MainQueue.hpp"
#include "platform/desktop/EventTap.hpp"
#include "platform/desktop/RunLoopSource.hpp"
#include "platform/desktop/X11KeyboardSession.hpp"
#include "platform/text/Utf16.hpp"
#include "platform/text/Utf8.hpp"
#include "tests/support/FocusedWindow.hpp"
#include "tests/support/XTestKeyboard.hpp"
#include "tests/support/XvfbServer.hpp"

#include <X11/keysym.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <vector>

namespace {

using namespace platform::desktop;
using testsupport::FocusedWindow;

// Accents, Cyrillic, Chinese, an emoji outside the basic plane, a line break, and characters that a German
// layout moves (y, z, @) or has of its own (ß, ä).
constexpr auto mixedText = u8"Grüße, café ß @yz\nПривет 你好 😀 ä!";

std::u16string unitsOf(const char8_t* text) { return platform::text::utf16Of(reinterpret_cast<const char*>(text)); }

KeyEvent typing(std::u16string units) {
    return KeyEvent{
        .type = EventType::keyDown, .keyCode = 0, .flags = 0, .isAutoRepeat = false, .unicodeString = std::move(units)};
}

class X11KeyboardSessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!testsupport::XvfbServer::binary()) {
            GTEST_SKIP() << "no Xvfb binary on the PATH (scripts/install-deps installs it)";
        }
        server.emplace();
        window = std::make_unique<FocusedWindow>(server->display());
        session = X11KeyboardSession::open(server->display());
        ASSERT_NE(session, nullptr);
        runner = std::thread([this] { mainQueue.run(); });
    }

    void TearDown() override {
        if (runner.joinable()) {
            mainQueue.stop();
            runner.join();
        }
    }

    // A tap on the main queue that records the events it sees and withholds those `withhold` picks.
    std::shared_ptr<EventTap> makeTap(std::function<bool(const KeyEvent&)> withhold) {
        auto tap = EventTap::create(*session, [this, withhold](const KeyEvent& event) -> std::optional<KeyEvent> {
            {
                std::lock_guard lock(seenMutex);
                seen.push_back(event);
            }
            seenChanged.notify_all();
            return withhold(event) ? std::nullopt : std::optional<KeyEvent>(event);
        });
        tap->runLoopSource()->addTo(mainQueue);
        tap->enable(true);
        return tap;
    }

    // Once the taps have seen `count` events, or after a generous bound.
    std::vector<KeyEvent> seenEvents(std::size_t count) {
        std::unique_lock lock(seenMutex);
        seenChanged.wait_for(lock, std::chrono::seconds(30), [&] { return seen.size() >= count; });
        return seen;
    }

    std::optional<testsupport::XvfbServer> server;
    std::unique_ptr<FocusedWindow> window;
    std::unique_ptr<X11KeyboardSession> session;
    platform::core::MainQueue mainQueue;
    std::thread runner;
    std::mutex seenMutex;
    std::condition_variable seenChanged;
    std::vector<KeyEvent> seen;
};

TEST_F(X11KeyboardSessionTest, TheDisplayAcceptingXTestAndTheGrabsMakesTheProcessTrusted) {
    EXPECT_TRUE(session->accessibility().isProcessTrusted(false));
}

TEST_F(X11KeyboardSessionTest, PostedTextArrivesExactlyInTheFocusedWindowWithAUsAndAGermanLayout) {
    std::u32string typedSoFar;
    for (const char* layout : {"us", "de"}) {
        const std::string command = "setxkbmap -display " + server->display() + " " + layout;
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        // In keystrokes of at most 20 units, as text insertion posts them. The text has more distinct characters
        // than the keymap has spare keycodes, so a keystroke remaps keycodes that earlier ones pressed. The window
        // reads a keycode in the keymap as it is when it gets to the event, so each keystroke waits until the
        // window has read the one before: otherwise a window slowed by a loaded machine reads an earlier press
        // as the character the keycode was remapped to.
        const std::u16string units = unitsOf(mixedText);
        for (std::size_t start = 0; start < units.size();) {
            std::size_t end = std::min(units.size(), start + 20);
            if (end < units.size() && (units[end - 1] & 0xFC00) == 0xD800) {
                --end;
            }
            const std::u16string keystroke = units.substr(start, end - start);
            session->post(typing(keystroke));
            session->post(KeyEvent{
                .type = EventType::keyUp, .keyCode = 0, .flags = 0, .isAutoRepeat = false, .unicodeString = {}});
            typedSoFar += platform::text::decodeScalars(platform::text::utf8Of(keystroke));
            ASSERT_EQ(window->waitForText(typedSoFar.size()), typedSoFar) << layout;
            start = end;
        }
    }
}

TEST_F(X11KeyboardSessionTest, AWatchedKeyThatTheTapsPassReachesTheFocusedWindowAsUsual) {
    const auto tap = makeTap([](const KeyEvent&) { return false; });
    testsupport::XTestKeyboard fingers(server->display());
    const int space = fingers.keycode(XK_space);
    fingers.tap(space);
    ASSERT_TRUE(window->waitForKey({.keycode = space, .press = false}));
    EXPECT_EQ(window->waitForText(1), U" ");
}

TEST_F(X11KeyboardSessionTest, AChordThatTheTapsWithholdNeverReachesTheFocusedWindow) {
    // The binding (right Control, seen as the fn modifier) and the space pressed while it is held are withheld.
    const auto tap = makeTap([](const KeyEvent& event) {
        return event.type == EventType::flagsChanged || (event.flags & EventFlags::maskSecondaryFn) != 0;
    });
    testsupport::XTestKeyboard fingers(server->display());
    const int control = fingers.keycode(XK_Control_R);
    const int space = fingers.keycode(XK_space);
    const int letter = fingers.keycode(XK_a);
    fingers.key(control, true);
    fingers.tap(space);
    fingers.key(control, false);
    fingers.tap(letter);
    ASSERT_TRUE(window->waitForKey({.keycode = letter, .press = false}));
    const std::vector<FocusedWindow::Key> expected{{.keycode = letter, .press = true},
                                                   {.keycode = letter, .press = false}};
    EXPECT_EQ(window->keys(), expected);
    EXPECT_EQ(seenEvents(4).size(), 4U);
}

TEST_F(X11KeyboardSessionTest, OnlyTheKeysATapMayWithholdAreHeldBackFromTheFocusedWindow) {
    testsupport::XTestKeyboard fingers(server->display());
    const int control = fingers.keycode(XK_Control_R);
    const int space = fingers.keycode(XK_space);
    const auto tap = makeTap([](const KeyEvent&) { return true; });
    struct Limit {
        std::set<std::uint16_t> keyCodes;
        int reachingKey;
        // Typed last, so that its arrival shows that everything before it has arrived.
        int sentinel;
    };
    // Space is 49, the fn key (right Control) 63; the limit changes while the tap stays enabled.
    for (const auto& [keyCodes, reachingKey, sentinel] :
         {Limit{{49}, control, fingers.keycode(XK_a)}, Limit{{63}, space, fingers.keycode(XK_b)}}) {
        tap->limitWithholdingTo(keyCodes);
        const auto before = window->keys().size();
        fingers.tap(control);
        fingers.tap(space);
        fingers.tap(sentinel);
        ASSERT_TRUE(window->waitForKey({.keycode = sentinel, .press = false}));
        const auto keys = window->keys();
        const std::vector<FocusedWindow::Key> expected{{.keycode = reachingKey, .press = true},
                                                       {.keycode = reachingKey, .press = false},
                                                       {.keycode = sentinel, .press = true},
                                                       {.keycode = sentinel, .press = false}};
        EXPECT_EQ(std::vector(keys.begin() + static_cast<std::ptrdiff_t>(before), keys.end()), expected);
    }
}

} // namespace
