#include "ChannelHarness.hpp"

#include "Mirvo/MainWindow.hpp"
#include "Mirvo/PanelPlacement.hpp"
#include "Mirvo/StatusBarController.hpp"

#include "platform/desktop/Application.hpp"
#include "platform/desktop/ApplicationEvent.hpp"
#include "platform/desktop/NotificationCenter.hpp"
#include "platform/desktop/StatusItem.hpp"
#include "platform/desktop/Window.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace mirvo {
namespace {

namespace ui = platform::ui;
namespace desktop = platform::desktop;
using desktop::ApplicationEventType;

constexpr const char* channel = "mirvo/status_bar";
constexpr const char* eventChannel = "mirvo/status_bar_events";

const ui::MethodReply noValue = ui::Value();

desktop::Rect rect(double x, double y, double width, double height) {
    return {.origin = {.x = x, .y = y}, .size = {.width = width, .height = height}};
}

class StatusBarControllerTests : public ::testing::Test {
protected:
    StatusBarControllerTests() {
        harness.listen(eventChannel);
        auto* button = item().button();
        button->frameOnScreen = rect(1000, 1400, 24, 24);
        button->screenVisibleFrame = rect(0, 0, 2560, 1415);
        panel->setFrame(rect(0, 0, 400, 600), false);
        application.addWindow(std::make_shared<desktop::Window>(application, rect(0, 0, 100, 100)));
        application.addWindow(panel);
    }

    desktop::StatusItem& item() const { return *statusBar->items().at(0); }
    desktop::StatusBarButton& button() const { return *item().button(); }

    void setState(ui::ValueMap state) { ASSERT_EQ(harness.call(channel, "setState", std::move(state)), noValue); }

    // A click on the item as the user makes it: the application handles that event meanwhile. The menu it
    // opens, if any, is kept in lastMenu.
    void click(ApplicationEventType type, bool controlKeyHeld = false) {
        application.setCurrentEvent(desktop::ApplicationEvent{.type = type, .controlKeyHeld = controlKeyHeld});
        item().click(type);
        if (item().menu()) {
            lastMenu = item().menu();
        }
        application.setCurrentEvent(std::nullopt);
        harness.runUntilIdle();
    }

    testing::ChannelHarness harness;
    desktop::NotificationCenter notificationCenter{harness.mainQueue()};
    desktop::Application application{harness.mainQueue(), notificationCenter,
                                     desktop::Bundle{.bundleIdentifier = std::nullopt, .name = "Mirvo"}};
    std::shared_ptr<desktop::Window> panel = std::make_shared<MainWindow>(application, rect(0, 0, 400, 600));
    std::shared_ptr<desktop::StatusBar> statusBar = std::make_shared<desktop::StatusBar>();
    std::shared_ptr<desktop::Menu> lastMenu;
    std::shared_ptr<StatusBarController> controller = std::make_shared<StatusBarController>(
        harness.messenger(), StatusBarController::Services{.statusBar = statusBar, .application = &application});
};

TEST_F(StatusBarControllerTests, TheItemStartsAsAQuietMicrophoneWithItsMenuApart) {
    EXPECT_EQ(button().image,
              (desktop::SymbolImage{.symbolName = "mic", .accessibilityDescription = "Mirvo", .isTemplate = true}));
    EXPECT_EQ(button().toolTip, "Mirvo");
    EXPECT_EQ(button().title, "");
    EXPECT_EQ(item().length(), desktop::StatusItem::squareLength);
    EXPECT_EQ(item().menu(), nullptr);
    EXPECT_EQ(button().sendsActionOn,
              (std::set<ApplicationEventType>{ApplicationEventType::leftMouseUp, ApplicationEventType::rightMouseUp}));
    EXPECT_EQ(harness.call(channel, "SetState"), ui::MethodReply(ui::NotImplemented{}));
}

TEST_F(StatusBarControllerTests, SetStateChangesOnlyWhatItNames) {
    const struct {
        ui::Value state;
        std::string toolTip;
        std::string description;
        std::string title;
        double length;
        std::string clockEntry;
    } steps[] = {
        {ui::ValueMap{{"listening", true}}, "Mirvo is listening \u2014 hold Fn, or click to open", "Mirvo listening",
         "", desktop::StatusItem::squareLength, "Clock in"},
        {ui::ValueMap{{"clockRunning", true}, {"elapsed", "1:05"}},
         "Mirvo is listening \u2014 hold Fn, or click to open", "Mirvo listening", " 1:05",
         desktop::StatusItem::variableLength, "Clock out"},
        {ui::ValueMap{{"elapsed", ""}}, "Mirvo is listening \u2014 hold Fn, or click to open", "Mirvo listening", "",
         desktop::StatusItem::squareLength, "Clock out"},
        {ui::ValueMap{{"listening", "yes"}, {"elapsed", "2:00"}}, "Mirvo is listening \u2014 hold Fn, or click to open",
         "Mirvo listening", " 2:00", desktop::StatusItem::variableLength, "Clock out"},
        {ui::ValueMap{{"clockRunning", false}, {"listening", false}}, "Mirvo", "Mirvo", "",
         desktop::StatusItem::squareLength, "Clock in"},
        {ui::ValueMap{{"clockRunning", true}, {"elapsed", 65}}, "Mirvo", "Mirvo", "", desktop::StatusItem::squareLength,
         "Clock out"},
        {ui::ValueList{ui::Value("listening")}, "Mirvo", "Mirvo", "", desktop::StatusItem::squareLength, "Clock out"},
    };
    for (const auto& step : steps) {
        EXPECT_EQ(harness.call(channel, "setState", step.state), noValue);
        EXPECT_EQ(button().toolTip, step.toolTip);
        EXPECT_EQ(button().image->accessibilityDescription, step.description);
        EXPECT_EQ(button().title, step.title);
        EXPECT_EQ(item().length(), step.length);
        EXPECT_FALSE(button().contentTintColor);
        click(ApplicationEventType::rightMouseUp);
        EXPECT_EQ(lastMenu->items().at(1).title, step.clockEntry);
    }
}

TEST_F(StatusBarControllerTests, TheMenuListsItsEntriesAndItsClockEntryFollowsTheClock) {
    setState({{"clockRunning", true}});
    // The menu is on the item only while it is open.
    application.setCurrentEvent(desktop::ApplicationEvent{.type = ApplicationEventType::rightMouseUp});
    button().action();
    ASSERT_NE(item().menu(), nullptr);
    EXPECT_EQ(item().menuOpenCount(), 1);
    const auto& entries = item().menu()->items();
    ASSERT_EQ(entries.size(), 5U);
    EXPECT_EQ(entries[0].title, "Dictate");
    EXPECT_EQ(entries[1].title, "Clock out");
    EXPECT_EQ(entries[2].title, "Open Mirvo on the web");
    EXPECT_TRUE(entries[3].isSeparator);
    EXPECT_EQ(entries[4].title, "Quit");
    EXPECT_EQ(entries[4].keyEquivalent, "q");
    harness.runUntilIdle();
    EXPECT_EQ(item().menu(), nullptr);
}

TEST_F(StatusBarControllerTests, MenuChoicesGoToTheSinkAtOnceAndQuitEndsTheApplication) {
    application.setCurrentEvent(
        desktop::ApplicationEvent{.type = ApplicationEventType::leftMouseUp, .controlKeyHeld = true});
    button().action();
    const auto menu = item().menu();
    ASSERT_NE(menu, nullptr);
    for (std::size_t entry = 0; entry < 3; ++entry) {
        menu->choose(entry);
    }
    harness.runUntilIdle();
    EXPECT_EQ(harness.events(eventChannel),
              (std::vector<ui::Value>{ui::ValueMap{{"type", "dictate"}}, ui::ValueMap{{"type", "clock"}},
                                      ui::ValueMap{{"type", "openWeb"}}}));
    harness.cancel(eventChannel);
    menu->choose(0);
    harness.runUntilIdle();
    EXPECT_EQ(harness.events(eventChannel).size(), 3U);
    EXPECT_FALSE(application.isTerminated());
    menu->choose(4);
    EXPECT_TRUE(application.isTerminated());
}

TEST_F(StatusBarControllerTests, LeftClicksTogglePanelAndTheMenuDoesNotStayOnTheItem) {
    click(ApplicationEventType::leftMouseUp);
    EXPECT_FALSE(panel->isVisible());
    click(ApplicationEventType::leftMouseUp);
    EXPECT_TRUE(panel->isVisible());
    EXPECT_EQ(application.userActivations(), 1);
    EXPECT_EQ(panel->frame().origin, (desktop::Point{.x = 812, .y = 794}));

    click(ApplicationEventType::leftMouseUp, true);
    EXPECT_EQ(item().menuOpenCount(), 1);
    EXPECT_TRUE(panel->isVisible());
    EXPECT_EQ(item().menu(), nullptr);
    click(ApplicationEventType::leftMouseUp);
    EXPECT_FALSE(panel->isVisible());
    EXPECT_EQ(item().menuOpenCount(), 1);
}

TEST_F(StatusBarControllerTests, ShowAndHideMoveThePanelAndAlwaysReplyNoValue) {
    EXPECT_EQ(harness.call(channel, "hide"), noValue);
    EXPECT_FALSE(panel->isVisible());
    EXPECT_EQ(harness.call(channel, "show"), noValue);
    EXPECT_TRUE(panel->isVisible());
    EXPECT_EQ(panel->frame().size, (desktop::Size{.width = 400, .height = 600}));

    application.closeWindow(*panel);
    EXPECT_EQ(harness.call(channel, "show"), noValue);
    EXPECT_EQ(harness.call(channel, "hide"), noValue);
}

TEST(PanelPlacementTests, ThePanelHangsUnderTheItemInsideTheVisibleFrame) {
    const auto visible = rect(0, 0, 1440, 875);
    const struct {
        const char* name;
        desktop::Rect button;
        desktop::Size panel;
        std::optional<desktop::Rect> visibleFrame;
        desktop::Point origin;
    } cases[] = {
        {"centred under the item", rect(700, 876, 24, 24), {400, 600}, visible, {512, 270}},
        {"near the right edge", rect(1400, 876, 24, 24), {400, 600}, visible, {1034, 270}},
        {"near the left edge", rect(10, 876, 24, 24), {400, 600}, visible, {6, 270}},
        {"taller than the room below", rect(700, 876, 24, 24), {400, 900}, visible, {512, 906}},
        {"wider than the frame", rect(700, 876, 24, 24), {1500, 600}, visible, {-66, 270}},
        {"without a screen", rect(1400, 876, 24, 24), {400, 900}, std::nullopt, {1212, -30}},
    };
    for (const auto& example : cases) {
        EXPECT_EQ(panelOrigin(example.button, example.panel, example.visibleFrame), example.origin) << example.name;
    }
}

} // namespace
} // namespace mirvo
