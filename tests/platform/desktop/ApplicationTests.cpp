#include "platform/core/MainQueue.hpp"
#include "platform/desktop/Application.hpp"
#include "platform/desktop/ApplicationMain.hpp"
#include "platform/desktop/InProcessWorkspace.hpp"
#include "tests/support/RecordingLogSink.hpp"

#include <gtest/gtest.h>

#include <unistd.h>

#include <string>
#include <vector>

namespace {

using namespace platform::desktop;

const std::string didFinishLaunching(Application::didFinishLaunchingNotification);

class RecordingWindow final : public Window {
public:
    RecordingWindow(Application& application, Rect frame, std::vector<std::string>& events)
        : Window(application, frame), events_(events) {}
    void awakeFromNib() override { events_.push_back("awakeFromNib"); }

private:
    std::vector<std::string>& events_;
};

class RecordingDelegate final : public ApplicationDelegate {
public:
    RecordingDelegate(Application& application, std::vector<std::string>& events, bool terminateAtLaunch)
        : application_(application), events_(events), terminateAtLaunch_(terminateAtLaunch) {}
    void applicationWillFinishLaunching(const Notification& notification) override {
        events_.push_back(notification.name);
    }
    void applicationDidFinishLaunching(const Notification& notification) override {
        events_.push_back(notification.name);
        if (terminateAtLaunch_) {
            application_.terminate();
        }
    }
    bool applicationShouldTerminateAfterLastWindowClosed(Application&) override { return terminateAtLaunch_; }

private:
    Application& application_;
    std::vector<std::string>& events_;
    bool terminateAtLaunch_;
};

class ApplicationTest : public ::testing::Test {
protected:
    InterfaceDescription description(bool terminateAtLaunch) {
        return InterfaceDescription{
            .makeMainWindow =
                [this](Application& owner, Rect frame) {
                    events.push_back("window " + std::to_string(static_cast<int>(frame.size.width)) + "x" +
                                     std::to_string(static_cast<int>(frame.size.height)));
                    return std::make_shared<RecordingWindow>(owner, frame, events);
                },
            .mainWindowFrame = Rect{.origin = {.x = 0, .y = 0}, .size = {.width = 800, .height = 700}},
            .makeDelegate =
                [this, terminateAtLaunch](Application& owner) {
                    return std::make_shared<RecordingDelegate>(owner, events, terminateAtLaunch);
                },
        };
    }

    platform::core::MainQueue mainQueue;
    NotificationCenter notificationCenter{mainQueue};
    Application application{mainQueue, notificationCenter, Bundle{.bundleIdentifier = "test.App", .name = "Test"}};
    InProcessWorkspace workspace;
    std::vector<std::string> events;
};

TEST_F(ApplicationTest, MainMakesTheWindowWakesItLaunchesAndRunsUntilTerminated) {
    notificationCenter.addObserver(didFinishLaunching, [this](const Notification& notification) {
        events.push_back("observed " + notification.name);
        application.terminate();
    });

    EXPECT_EQ(applicationMain(application, workspace, description(false)), 0);

    EXPECT_EQ(events,
              (std::vector<std::string>{"window 800x700", "awakeFromNib", "ApplicationWillFinishLaunching",
                                        "ApplicationDidFinishLaunching", "observed ApplicationDidFinishLaunching"}));
    ASSERT_EQ(application.windows().size(), 1u);
    const auto listed = workspace.runningApplications("test.App");
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0]->processIdentifier(), getpid());
}

TEST_F(ApplicationTest, TerminatingDuringLaunchSkipsTheRunLoopAndTheLaunchNotification) {
    bool ranLoop = false;
    mainQueue.async([&ranLoop] { ranLoop = true; });
    notificationCenter.addObserver(didFinishLaunching, [this](const Notification&) { events.push_back("observed"); });

    EXPECT_EQ(applicationMain(application, workspace, description(true)), 0);

    EXPECT_TRUE(application.isTerminated());
    EXPECT_FALSE(ranLoop);
    EXPECT_EQ(events.back(), "ApplicationDidFinishLaunching");
}

TEST_F(ApplicationTest, ActivationByAnotherCopyIsLoggedAndObservedOnTheMainQueue) {
    testsupport::RecordingLogSink log;
    bool observedOnMainQueue = false;
    application.setActivationObserver([&] {
        observedOnMainQueue = mainQueue.isCurrent();
        application.terminate();
    });
    notificationCenter.addObserver(didFinishLaunching, [this](const Notification&) {
        EXPECT_TRUE(workspace.runningApplications("test.App").front()->activate());
    });

    applicationMain(application, workspace, description(false));

    EXPECT_TRUE(observedOnMainQueue);
    const auto records = log.records();
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(records.back().message, "Test: activated by another instance (windows=1)");
}

TEST_F(ApplicationTest, ClosingTheLastWindowEndsTheApplicationOnlyWhenTheDelegateSaysSo) {
    for (const bool delegateSaysTerminate : {false, true}) {
        Application closing(mainQueue, notificationCenter, Bundle{.bundleIdentifier = std::nullopt, .name = "Test"});
        closing.setDelegate(std::make_shared<RecordingDelegate>(closing, events, delegateSaysTerminate));
        auto first = std::make_shared<Window>(closing, Rect{});
        auto second = std::make_shared<Window>(closing, Rect{});
        closing.addWindow(first);
        closing.addWindow(second);

        closing.closeWindow(*first);
        EXPECT_FALSE(closing.isTerminated());
        closing.closeWindow(*second);
        EXPECT_TRUE(closing.windows().empty());
        EXPECT_EQ(closing.isTerminated(), delegateSaysTerminate);
    }
}

} // namespace
