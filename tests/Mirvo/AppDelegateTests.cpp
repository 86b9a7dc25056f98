#include "Mirvo/AppDelegate.hpp"
#include "Mirvo/DictationCuesPlugin.hpp"
#include "Mirvo/DictationPlugin.hpp"
#include "Mirvo/GlobalHotkeyTap.hpp"
#include "Mirvo/ParaformerPlugin.hpp"
#include "Mirvo/ParakeetPlugin.hpp"
#include "Mirvo/PluginRegistry.hpp"
#include "Mirvo/ScreenCapturePlugin.hpp"
#include "Mirvo/StatusBarController.hpp"
#include "Mirvo/TextInserter.hpp"

#include "platform/core/MainQueue.hpp"
#include "platform/core/SystemError.hpp"
#include "platform/desktop/InProcessWorkspace.hpp"
#include "platform/ui/EngineViewController.hpp"
#include "tests/support/RecordingLogSink.hpp"

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;
namespace desktop = platform::desktop;
using mirvo::AppDelegate;

const std::string bundleIdentifier = "com.mirvo.Mirvo";
const std::string idleGuardLine = "Mirvo: analytics class AnalyticsMeasurement not loaded; hang guard stays idle";
const std::string keychainConfiguredLine = "Mirvo: backend keychain access group configured: none";

std::vector<std::string> registrationLines(int windows) {
    std::vector<std::string> lines;
    for (const char* name : {"DictationPlugin", "ParakeetPlugin", "ParaformerPlugin", "ScreenCapturePlugin",
                             "GlobalHotkeyTap", "TextInserter", "StatusBarController", "DictationCuesPlugin"}) {
        lines.push_back("Mirvo: " + std::string(name) + " registered (windows=" + std::to_string(windows) + ")");
    }
    return lines;
}

class AppDelegateTests : public ::testing::Test {
protected:
    std::shared_ptr<desktop::Window> addWindow() {
        auto window = std::make_shared<desktop::Window>(application, desktop::Rect{});
        application.addWindow(window);
        return window;
    }

    void attachEngine(desktop::Window& window) {
        window.setContentViewController(std::make_shared<platform::ui::EngineViewController>(mainQueue));
    }

    void launch() {
        delegate->applicationWillFinishLaunching(desktop::Notification{.name = "ApplicationWillFinishLaunching"});
        delegate->applicationDidFinishLaunching(desktop::Notification{.name = "ApplicationDidFinishLaunching"});
        mainQueue.runUntilIdle();
    }

    void advancePolls(int count) {
        for (int poll = 0; poll < count; ++poll) {
            clock.advance(10ms);
            mainQueue.runUntilIdle();
        }
    }

    std::vector<std::string> lines(const std::string& containing = "") const {
        std::vector<std::string> messages;
        for (const auto& record : log.records()) {
            if (record.message.find(containing) != std::string::npos) {
                messages.push_back(record.message);
            }
        }
        return messages;
    }

    testsupport::RecordingLogSink log;
    platform::core::VirtualClock clock;
    platform::core::MainQueue mainQueue{clock};
    desktop::NotificationCenter notificationCenter{mainQueue};
    desktop::Application application{mainQueue, notificationCenter,
                                     desktop::Bundle{.bundleIdentifier = bundleIdentifier, .name = "Mirvo"}};
    desktop::InProcessWorkspace workspace;
    desktop::Backend backend{notificationCenter};
    desktop::EmulatedClassRegistry classes;
    // The plug-ins talk through the engine's messenger, which the windows above own, so they go first.
    mirvo::PluginRegistry plugins;
    std::shared_ptr<AppDelegate> delegate =
        std::make_shared<AppDelegate>(AppDelegate::Environment{.application = application,
                                                               .workspace = workspace,
                                                               .backend = backend,
                                                               .classRegistry = classes,
                                                               .plugins = plugins});
};

TEST_F(AppDelegateTests, AnEngineAtLaunchGetsTheEightPluginsInTableOrderAndNoRetry) {
    addWindow();
    attachEngine(*addWindow());

    launch();

    EXPECT_EQ(lines("registered"), registrationLines(2));
    EXPECT_EQ(
        (std::vector<bool>{
            plugins.find<mirvo::DictationPlugin>() != nullptr, plugins.find<mirvo::ParakeetPlugin>() != nullptr,
            plugins.find<mirvo::ParaformerPlugin>() != nullptr, plugins.find<mirvo::ScreenCapturePlugin>() != nullptr,
            plugins.find<mirvo::GlobalHotkeyTap>() != nullptr, plugins.find<mirvo::TextInserter>() != nullptr,
            plugins.find<mirvo::StatusBarController>() != nullptr,
            plugins.find<mirvo::DictationCuesPlugin>() != nullptr}),
        std::vector<bool>(8, true));
    advancePolls(5);
    EXPECT_EQ(delegate->dictationPollAttempts(), 0);
}

TEST_F(AppDelegateTests, RegistrationOnALaterPollLogsEachPluginOnce) {
    const auto window = addWindow();
    launch();
    advancePolls(3);
    EXPECT_TRUE(lines("registered").empty());
    EXPECT_EQ(delegate->dictationPollAttempts(), 4);

    attachEngine(*window);
    advancePolls(1);
    advancePolls(10);
    delegate->registerNativePlugins();

    EXPECT_EQ(lines("registered"), registrationLines(1));
    EXPECT_EQ(delegate->dictationPollAttempts(), 4);
}

TEST_F(AppDelegateTests, WhenNothingBecomesReadyBothPollsGiveUpAfter3000TriesAndALateBackendIsStillConfigured) {
    addWindow();
    launch();
    advancePolls(3100);

    EXPECT_EQ(delegate->pollAttempts(), 3000);
    EXPECT_EQ(delegate->dictationPollAttempts(), 3000);
    EXPECT_TRUE(delegate->registeredPlugins().empty());
    EXPECT_EQ(lines(), (std::vector<std::string>{
                           idleGuardLine, idleGuardLine,
                           "Mirvo: backend never configured after 3000 polls (~30s) — giving up; the auth keychain "
                           "group stays at the backend default",
                           "Mirvo: native plugins never registered after ~30s — giving up"}));

    backend.configure();
    mainQueue.runUntilIdle();
    EXPECT_EQ(lines("keychain access group"), std::vector<std::string>{keychainConfiguredLine});
    EXPECT_EQ(backend.userAccessGroupCalls(), std::vector<std::optional<std::string>>{std::nullopt});
}

class BackendReadyLaterTests : public AppDelegateTests, public ::testing::WithParamInterface<bool> {};

// Whether the ready notification or the poll comes first, the group is configured once and polling ends.
TEST_P(BackendReadyLaterTests, ABackendReadyAfterTwoSecondsIsConfiguredExactlyOnce) {
    const bool announced = GetParam();
    attachEngine(*addWindow());
    launch();
    advancePolls(199);
    EXPECT_TRUE(backend.userAccessGroupCalls().empty());

    if (announced) {
        backend.configure();
    } else {
        backend.createDefaultApp();
    }
    advancePolls(1);
    const auto attemptsWhenConfigured = delegate->pollAttempts();
    notificationCenter.post(desktop::Notification{.name = std::string(desktop::Backend::readyNotification)});
    advancePolls(50);

    EXPECT_TRUE(delegate->keychainConfigured());
    EXPECT_EQ(backend.userAccessGroupCalls(), std::vector<std::optional<std::string>>{std::nullopt});
    EXPECT_EQ(lines("keychain access group"), std::vector<std::string>{keychainConfiguredLine});
    EXPECT_EQ(delegate->pollAttempts(), attemptsWhenConfigured);
}

INSTANTIATE_TEST_SUITE_P(ByNotificationOrByPoll, BackendReadyLaterTests, ::testing::Bool());

TEST_F(AppDelegateTests, AFailedKeychainCallIsLoggedOnceAndNeverRepeated) {
    backend.failUserAccessGroupWith(platform::core::SystemError("BackendAuth", 17, "keychain unavailable"));
    backend.configure();
    attachEngine(*addWindow());
    launch();
    notificationCenter.post(desktop::Notification{.name = std::string(desktop::Backend::readyNotification)});
    advancePolls(5);

    EXPECT_TRUE(delegate->keychainConfigured());
    EXPECT_EQ(backend.userAccessGroupCalls().size(), 1u);
    EXPECT_EQ(lines("keychain access group"),
              std::vector<std::string>{"Mirvo: backend keychain access group call failed (17): keychain unavailable"});
}

TEST_F(AppDelegateTests, WithAnotherCopyRunningThisCopyHandsOverAndRegistersNothing) {
    workspace.addRunningApplication(bundleIdentifier, 4242);
    attachEngine(*addWindow());

    launch();
    backend.configure();
    advancePolls(10);

    EXPECT_EQ(lines("instance"),
              std::vector<std::string>{"Mirvo: another instance is already running (pid 4242); handing over"});
    EXPECT_EQ(workspace.activations(), std::vector<pid_t>{4242});
    EXPECT_TRUE(application.isTerminated());
    EXPECT_TRUE(lines("registered").empty());
    EXPECT_TRUE(backend.userAccessGroupCalls().empty());
    EXPECT_EQ(delegate->pollAttempts(), 0);
    EXPECT_EQ(delegate->dictationPollAttempts(), 0);
}

TEST_F(AppDelegateTests, AnAnalyticsClassLoadedAfterTheFirstLaunchCallbackIsGuardedByTheSecond) {
    delegate->applicationWillFinishLaunching(desktop::Notification{.name = "ApplicationWillFinishLaunching"});
    auto measurement = std::make_shared<desktop::EmulatedClass>("AnalyticsMeasurement");
    bool handlerRan = false;
    measurement->addMethod("handleAppDidBecomeActiveEvent:",
                           [&handlerRan](const auto&, const auto&) { handlerRan = true; });
    classes.registerClass(measurement);

    delegate->applicationDidFinishLaunching(desktop::Notification{.name = "ApplicationDidFinishLaunching"});
    measurement->instanceMethod("handleAppDidBecomeActiveEvent:")->invoke(nullptr, nullptr);

    EXPECT_TRUE(delegate->hangGuard().installed());
    EXPECT_FALSE(handlerRan);
}

TEST_F(AppDelegateTests, WorkScheduledForADelegateThatIsGoneDoesNothing) {
    addWindow();
    launch();
    delegate.reset();

    backend.configure();
    advancePolls(5);

    EXPECT_TRUE(backend.userAccessGroupCalls().empty());
}

TEST_F(AppDelegateTests, ClosingTheLastWindowLeavesTheProcessRunning) {
    application.setDelegate(delegate);
    const auto window = addWindow();
    application.closeWindow(*window);

    EXPECT_FALSE(application.isTerminated());
    EXPECT_FALSE(delegate->applicationShouldTerminateAfterLastWindowClosed(application));
    EXPECT_TRUE(delegate->applicationSupportsSecureRestorableState(application));
}

struct RunningCopiesCase {
    std::optional<std::string> bundleIdentifier;
    std::vector<pid_t> listed;
    std::optional<pid_t> expected;
};

TEST(AppDelegateRunningCopies, AnotherCopyIsTheFirstListedThatIsNotThisProcess) {
    const pid_t self = getpid();
    const std::vector<RunningCopiesCase> cases{
        {.bundleIdentifier = std::nullopt, .listed = {4242}, .expected = std::nullopt},
        {.bundleIdentifier = bundleIdentifier, .listed = {}, .expected = std::nullopt},
        {.bundleIdentifier = bundleIdentifier, .listed = {self}, .expected = std::nullopt},
        {.bundleIdentifier = bundleIdentifier, .listed = {self, 4242}, .expected = 4242},
        {.bundleIdentifier = bundleIdentifier, .listed = {4343, self, 4242}, .expected = 4343},
    };
    for (const auto& testCase : cases) {
        platform::core::VirtualClock clock;
        platform::core::MainQueue mainQueue(clock);
        desktop::NotificationCenter notificationCenter(mainQueue);
        desktop::Application application(
            mainQueue, notificationCenter,
            desktop::Bundle{.bundleIdentifier = testCase.bundleIdentifier, .name = "Mirvo"});
        desktop::InProcessWorkspace workspace;
        workspace.addRunningApplication("com.example.Other", 5000);
        for (const pid_t listed : testCase.listed) {
            workspace.addRunningApplication(bundleIdentifier, listed);
        }
        desktop::Backend backend(notificationCenter);
        desktop::EmulatedClassRegistry classes;
        mirvo::PluginRegistry plugins;
        const auto delegate = std::make_shared<AppDelegate>(AppDelegate::Environment{.application = application,
                                                                                     .workspace = workspace,
                                                                                     .backend = backend,
                                                                                     .classRegistry = classes,
                                                                                     .plugins = plugins});

        const auto other = delegate->alreadyRunningInstance();
        EXPECT_EQ(other ? std::optional<pid_t>(other->processIdentifier()) : std::nullopt, testCase.expected)
            << "listed " << testCase.listed.size() << " copies";
    }
}

} // namespace
