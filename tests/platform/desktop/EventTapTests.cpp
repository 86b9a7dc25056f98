#include "platform/core/Clock.hpp"
#include "platform/core/MainQueue.hpp"
#include "platform/desktop/Accessibility.hpp"
#include "platform/desktop/EventTap.hpp"
#include "platform/desktop/KeyboardSession.hpp"
#include "platform/desktop/RunLoopSource.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace platform::desktop;

KeyEvent keyDown(std::uint16_t keyCode) {
    return KeyEvent{
        .type = EventType::keyDown, .keyCode = keyCode, .flags = 0, .isAutoRepeat = false, .unicodeString = {}};
}

class EventTapTest : public ::testing::Test {
protected:
    // Records under `name` every event the tap sees, then answers with `answer`, which passes the event
    // unchanged by default.
    std::shared_ptr<EventTap> makeTap(const std::string& name, EventTap::Callback answer = nullptr,
                                      platform::core::MainQueue* queue = nullptr) {
        auto tap = EventTap::create(session, [this, name, answer](const KeyEvent& event) -> std::optional<KeyEvent> {
            seen.emplace_back(name, event);
            return answer ? answer(event) : event;
        });
        tap->runLoopSource()->addTo(queue ? *queue : mainQueue);
        tap->enable(true);
        return tap;
    }

    std::vector<std::string> seenNames() const {
        std::vector<std::string> names;
        for (const auto& [name, event] : seen) {
            names.push_back(name);
        }
        return names;
    }

    platform::core::VirtualClock clock;
    platform::core::MainQueue mainQueue{clock};
    Accessibility accessibility{true};
    KeyboardSession session{accessibility};
    std::vector<std::pair<std::string, KeyEvent>> seen;
};

TEST_F(EventTapTest, InjectedEventPassesTapsNewestFirstOnTheirQueueAndReachesTheApplicationAsTheyLeaveIt) {
    auto older = makeTap("older", [](const KeyEvent& event) {
        KeyEvent changed = event;
        changed.keyCode = 7;
        return changed;
    });
    auto newer = makeTap("newer", [](const KeyEvent& event) {
        KeyEvent changed = event;
        changed.flags = EventFlags::maskCommand;
        return changed;
    });

    session.inject(keyDown(49));
    EXPECT_TRUE(seen.empty());
    EXPECT_TRUE(session.receivedEvents().empty());

    mainQueue.runUntilIdle();
    EXPECT_EQ(seenNames(), (std::vector<std::string>{"newer", "older"}));
    EXPECT_EQ(seen[1].second.flags, EventFlags::maskCommand);
    KeyEvent expected = keyDown(7);
    expected.flags = EventFlags::maskCommand;
    EXPECT_EQ(session.receivedEvents(), std::vector<KeyEvent>{expected});
}

TEST_F(EventTapTest, WithheldEventReachesNeitherOlderTapsNorTheApplication) {
    auto older = makeTap("older");
    auto newer = makeTap("newer", [](const KeyEvent& event) -> std::optional<KeyEvent> {
        if (event.keyCode == 49) {
            return std::nullopt;
        }
        return event;
    });

    session.inject(keyDown(49));
    session.inject(keyDown(0));
    mainQueue.runUntilIdle();

    EXPECT_EQ(seenNames(), (std::vector<std::string>{"newer", "newer", "older"}));
    EXPECT_EQ(session.receivedEvents(), std::vector<KeyEvent>{keyDown(0)});
}

TEST_F(EventTapTest, TapsThatCannotSeeEventsAreSkippedAndPassThemUntouched) {
    const std::vector<std::pair<std::string, std::function<void(std::shared_ptr<EventTap>&)>>> cases = {
        {"disabled", [](auto& tap) { tap->enable(false); }},
        {"invalidated", [](auto& tap) { tap->invalidate(); }},
        {"destroyed", [](auto& tap) { tap.reset(); }},
        {"source removed", [](auto& tap) { tap->runLoopSource()->remove(); }},
    };
    for (const auto& [name, makeBlind] : cases) {
        SCOPED_TRACE(name);
        seen.clear();
        Accessibility trust;
        KeyboardSession fresh{trust};
        auto older = EventTap::create(fresh, [this](const KeyEvent& event) -> std::optional<KeyEvent> {
            seen.emplace_back("older", event);
            return event;
        });
        auto blind = EventTap::create(fresh, [](const KeyEvent&) -> std::optional<KeyEvent> { return std::nullopt; });
        for (const auto& tap : {older, blind}) {
            tap->runLoopSource()->addTo(mainQueue);
            tap->enable(true);
        }
        makeBlind(blind);

        fresh.inject(keyDown(3));
        mainQueue.runUntilIdle();
        EXPECT_EQ(seenNames(), std::vector<std::string>{"older"});
        EXPECT_EQ(fresh.receivedEvents(), std::vector<KeyEvent>{keyDown(3)});
    }
}

TEST_F(EventTapTest, TapWithoutSourceIsSkippedAndANewTapStartsDisabled) {
    auto unsourced = EventTap::create(session, [](const KeyEvent&) -> std::optional<KeyEvent> { return std::nullopt; });
    unsourced->enable(true);
    auto fresh = EventTap::create(session, [](const KeyEvent&) -> std::optional<KeyEvent> { return std::nullopt; });
    fresh->runLoopSource()->addTo(mainQueue);
    EXPECT_FALSE(fresh->isEnabled());
    EXPECT_TRUE(fresh->isValid());

    session.inject(keyDown(3));
    EXPECT_EQ(mainQueue.runUntilIdle(), 0U);
    EXPECT_EQ(session.receivedEvents(), std::vector<KeyEvent>{keyDown(3)});
}

TEST_F(EventTapTest, CallbackNeverRunsForAQueuedEventOnceTheTapIsInvalidatedOrDestroyed) {
    const std::vector<std::pair<std::string, std::function<void(std::shared_ptr<EventTap>&)>>> cases = {
        {"invalidated", [](auto& tap) { tap->invalidate(); }},
        {"destroyed", [](auto& tap) { tap.reset(); }},
    };
    for (const auto& [name, end] : cases) {
        SCOPED_TRACE(name);
        seen.clear();
        Accessibility trust;
        KeyboardSession fresh{trust};
        auto tap = EventTap::create(fresh, [this](const KeyEvent& event) -> std::optional<KeyEvent> {
            seen.emplace_back("tap", event);
            return std::nullopt;
        });
        tap->runLoopSource()->addTo(mainQueue);
        tap->enable(true);

        fresh.inject(keyDown(5));
        end(tap);
        mainQueue.runUntilIdle();
        EXPECT_TRUE(seen.empty());
        EXPECT_EQ(fresh.receivedEvents(), std::vector<KeyEvent>{keyDown(5)});
    }
}

TEST_F(EventTapTest, CallbackMayInvalidateItsOwnTap) {
    std::shared_ptr<EventTap> tap;
    tap = makeTap("self", [&tap](const KeyEvent&) -> std::optional<KeyEvent> {
        tap->invalidate();
        return std::nullopt;
    });

    session.inject(keyDown(1));
    session.inject(keyDown(2));
    mainQueue.runUntilIdle();

    EXPECT_FALSE(tap->isValid());
    EXPECT_FALSE(tap->isEnabled());
    EXPECT_EQ(seenNames(), std::vector<std::string>{"self"});
    EXPECT_EQ(session.receivedEvents(), std::vector<KeyEvent>{keyDown(2)});
    tap->enable(true);
    EXPECT_FALSE(tap->isEnabled());
}

TEST_F(EventTapTest, EachCallbackRunsOnTheQueueItsSourceIsAddedTo) {
    platform::core::MainQueue otherQueue{clock};
    auto older = makeTap("older");
    auto newer = makeTap("newer", nullptr, &otherQueue);
    EXPECT_EQ(newer->runLoopSource()->queue(), &otherQueue);
    EXPECT_EQ(newer->runLoopSource(), newer->runLoopSource());

    session.inject(keyDown(4));
    EXPECT_EQ(mainQueue.runUntilIdle(), 0U);
    EXPECT_EQ(otherQueue.runUntilIdle(), 1U);
    EXPECT_EQ(seenNames(), std::vector<std::string>{"newer"});
    EXPECT_EQ(mainQueue.runUntilIdle(), 1U);
    EXPECT_EQ(seenNames(), (std::vector<std::string>{"newer", "older"}));

    newer->runLoopSource()->addTo(mainQueue);
    session.inject(keyDown(4));
    EXPECT_EQ(otherQueue.runUntilIdle(), 0U);
    EXPECT_EQ(mainQueue.runUntilIdle(), 2U);
    EXPECT_EQ(session.receivedEvents().size(), 2U);
}

TEST_F(EventTapTest, DisablingTapsDisablesEachEnabledOneAndTellsItThroughItsCallback) {
    auto stayingOff = makeTap("stayingOff");
    auto off = makeTap("off");
    off->enable(false);
    std::shared_ptr<EventTap> reviving;
    reviving = makeTap("reviving", [&reviving](const KeyEvent& event) {
        reviving->enable(true);
        return event;
    });

    session.disableTaps(EventType::tapDisabledByTimeout);
    EXPECT_FALSE(stayingOff->isEnabled());
    EXPECT_FALSE(reviving->isEnabled());
    mainQueue.runUntilIdle();

    EXPECT_EQ(seenNames(), (std::vector<std::string>{"reviving", "stayingOff"}));
    for (const auto& [name, event] : seen) {
        EXPECT_EQ(event.type, EventType::tapDisabledByTimeout);
    }
    EXPECT_TRUE(reviving->isEnabled());
    EXPECT_FALSE(stayingOff->isEnabled());
    EXPECT_TRUE(session.receivedEvents().empty());

    session.disableTaps(EventType::tapDisabledByUserInput);
    mainQueue.runUntilIdle();
    EXPECT_EQ(seen.back().first, "reviving");
    EXPECT_EQ(rawValue(seen.back().second.type), 0xFFFFFFFFU);
}

TEST_F(EventTapTest, CreationFailsWithoutAccessibilityTrustAndShowsNoPrompt) {
    accessibility.setTrusted(false);
    EXPECT_EQ(EventTap::create(session, [](const KeyEvent& event) { return event; }), nullptr);
    EXPECT_EQ(accessibility.promptCount(), 0);
    accessibility.setTrusted(true);
    EXPECT_NE(EventTap::create(session, [](const KeyEvent& event) { return event; }), nullptr);
}

TEST_F(EventTapTest, EventsInjectedFromManyThreadsAllPassTheTapWhileItsQueueRuns) {
    constexpr int threadCount = 4;
    constexpr int eventsPerThread = 50;
    int passed = 0;
    auto tap = EventTap::create(session, [&passed](const KeyEvent& event) {
        ++passed;
        return event;
    });
    tap->runLoopSource()->addTo(mainQueue);
    tap->enable(true);

    std::thread runner([this] { mainQueue.run(); });
    std::vector<std::thread> injectors;
    for (int thread = 0; thread < threadCount; ++thread) {
        injectors.emplace_back([this, thread] {
            for (int index = 0; index < eventsPerThread; ++index) {
                session.inject(keyDown(static_cast<std::uint16_t>(thread)));
            }
        });
    }
    for (auto& injector : injectors) {
        injector.join();
    }
    mainQueue.async([this] { mainQueue.stop(); });
    runner.join();

    EXPECT_EQ(passed, threadCount * eventsPerThread);
    EXPECT_EQ(session.receivedEvents().size(), static_cast<std::size_t>(threadCount * eventsPerThread));
}

} // namespace
