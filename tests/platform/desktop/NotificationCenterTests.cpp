#include "platform/core/MainQueue.hpp"
#include "platform/desktop/NotificationCenter.hpp"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

using platform::desktop::Notification;
using platform::desktop::NotificationCenter;

TEST(NotificationCenter, ObserversOfTheNameRunOnTheMainQueueInTheOrderAdded) {
    platform::core::VirtualClock clock;
    platform::core::MainQueue mainQueue(clock);
    NotificationCenter center(mainQueue);
    std::vector<std::string> delivered;
    center.addObserver("Ready",
                       [&](const Notification& notification) { delivered.push_back("a:" + notification.name); });
    center.addObserver("Other", [&](const Notification&) { delivered.push_back("other"); });
    center.addObserver("Ready", [&](const Notification&) { delivered.push_back("b"); });

    std::thread poster([&center] { center.post(Notification{.name = "Ready"}); });
    poster.join();
    EXPECT_TRUE(delivered.empty());
    mainQueue.runUntilIdle();
    EXPECT_EQ(delivered, (std::vector<std::string>{"a:Ready", "b"}));
}

} // namespace
