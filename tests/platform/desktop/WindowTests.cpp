#include "platform/core/MainQueue.hpp"
#include "platform/desktop/Application.hpp"
#include "platform/desktop/NotificationCenter.hpp"
#include "platform/desktop/Window.hpp"

#include <gtest/gtest.h>

namespace {

using namespace platform::desktop;

class WindowTest : public ::testing::Test {
protected:
    platform::core::VirtualClock clock;
    platform::core::MainQueue mainQueue{clock};
    NotificationCenter notificationCenter{mainQueue};
    Application application{mainQueue, notificationCenter, Bundle{.bundleIdentifier = "test.Window", .name = "Test"}};
    Window window{application, Rect{.origin = {.x = 10, .y = 20}, .size = {.width = 900, .height = 700}}};
};

TEST_F(WindowTest, FrameBelowTheMinimumSizeIsRaisedToItPerDimension) {
    window.setMinSize(Size{.width = 760, .height = 640});
    window.setFrame(Rect{.origin = {.x = 1, .y = 2}, .size = {.width = 500, .height = 800}}, false);
    EXPECT_EQ(window.frame(), (Rect{.origin = {.x = 1, .y = 2}, .size = {.width = 760, .height = 800}}));
    window.setFrame(Rect{.origin = {.x = 1, .y = 2}, .size = {.width = 800, .height = 100}}, true);
    EXPECT_EQ(window.frame().size, (Size{.width = 800, .height = 640}));
    EXPECT_EQ(window.displayCount(), 1);
}

TEST_F(WindowTest, NewContentControllerResizesTheWindowToItsPreferredSizeKeepingTheOrigin) {
    auto controller = std::make_shared<ViewController>();
    controller->setPreferredContentSize(Size{.width = 320, .height = 240});
    window.setContentViewController(controller);
    EXPECT_EQ(window.contentViewController(), controller);
    EXPECT_EQ(window.frame(), (Rect{.origin = {.x = 10, .y = 20}, .size = {.width = 320, .height = 240}}));
}

} // namespace
