#include "platform/core/Clock.hpp"
#include "platform/core/MainQueue.hpp"
#include "platform/desktop/Accessibility.hpp"
#include "platform/desktop/EventSource.hpp"
#include "platform/desktop/EventTap.hpp"
#include "platform/desktop/KeyboardSession.hpp"
#include "platform/desktop/RunLoopSource.hpp"
#include "tests/platform/desktop/Typing.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

using namespace platform::desktop;
using desktoptest::typing;

class KeyboardSessionTest : public ::testing::Test {
protected:
    Accessibility accessibility;
    KeyboardSession session{accessibility};
    EventSource source{session};
};

TEST_F(KeyboardSessionTest, SourceMakesPlainKeyDownAndKeyUpEventsForTheVirtualKey) {
    EXPECT_EQ(source.state(), EventSource::StateId::combinedSessionState);
    EXPECT_EQ(source.keyboardEvent(0, true), typing(EventType::keyDown, u""));
    const auto up = source.keyboardEvent(36, false);
    ASSERT_TRUE(up);
    EXPECT_EQ(up->type, EventType::keyUp);
    EXPECT_EQ(up->keyCode, 36);
    EXPECT_EQ(up->flags, 0U);
    EXPECT_TRUE(up->unicodeString.empty());
}

TEST_F(KeyboardSessionTest, EventCreationFailsAfterTheAllowedNumberUntilRestored) {
    session.failKeyboardEventsAfter(2);
    EXPECT_TRUE(source.keyboardEvent(0, true));
    EXPECT_TRUE(session.makeKeyboardEvent(0, false));
    EXPECT_FALSE(source.keyboardEvent(0, true));
    EXPECT_FALSE(source.keyboardEvent(0, false));

    session.failKeyboardEventsAfter(std::nullopt);
    EXPECT_TRUE(source.keyboardEvent(0, true));
    session.failKeyboardEventsAfter(0);
    EXPECT_FALSE(source.keyboardEvent(0, true));
}

TEST_F(KeyboardSessionTest, PostedEventsReachTheApplicationAtOnceWithoutPassingTaps) {
    platform::core::VirtualClock clock;
    platform::core::MainQueue queue{clock};
    int tapCalls = 0;
    auto tap = EventTap::create(session, [&tapCalls](const KeyEvent&) -> std::optional<KeyEvent> {
        ++tapCalls;
        return std::nullopt;
    });
    tap->runLoopSource()->addTo(queue);
    tap->enable(true);

    source.post(typing(EventType::keyDown, u"ab"));
    session.post(typing(EventType::keyUp, u""));

    EXPECT_EQ(session.receivedEvents(),
              (std::vector<KeyEvent>{typing(EventType::keyDown, u"ab"), typing(EventType::keyUp, u"")}));
    EXPECT_EQ(queue.runUntilIdle(), 0U);
    EXPECT_EQ(tapCalls, 0);
}

TEST_F(KeyboardSessionTest, TypedTextJoinsTheStringsOfKeyDownsOnly) {
    source.post(typing(EventType::keyDown, u"a\n"));
    source.post(typing(EventType::keyUp, u"ignored"));
    source.post(typing(EventType::flagsChanged, u"ignored"));
    session.inject(typing(EventType::keyDown, u"\U0001F600"));
    source.post(typing(EventType::keyDown, u"b"));

    EXPECT_EQ(session.typedText(), u"a\n\U0001F600b");
}

} // namespace
