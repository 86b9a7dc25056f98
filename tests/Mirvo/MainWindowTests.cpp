#include "Mirvo/MainWindow.hpp"

#include "platform/core/MainQueue.hpp"
#include "platform/desktop/Application.hpp"
#include "platform/desktop/NotificationCenter.hpp"
#include "platform/ui/EngineViewController.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

namespace desktop = platform::desktop;

TEST(MainWindowTests, AwakeKeepsTheStoredFrameSetsTheMinimumAndRegistersTheGeneratedPluginsInOrder) {
    platform::core::VirtualClock clock;
    platform::core::MainQueue mainQueue(clock);
    desktop::NotificationCenter notificationCenter(mainQueue);
    desktop::Application application(mainQueue, notificationCenter,
                                     desktop::Bundle{.bundleIdentifier = std::nullopt, .name = "Mirvo"});
    const desktop::Rect storedFrame{.origin = {.x = 240, .y = 160}, .size = {.width = 960, .height = 720}};
    mirvo::MainWindow window(application, storedFrame);

    window.awakeFromNib();

    const auto engine = std::dynamic_pointer_cast<platform::ui::EngineViewController>(window.contentViewController());
    ASSERT_NE(engine, nullptr);
    EXPECT_EQ(window.frame(), storedFrame);
    EXPECT_EQ(window.minSize(), (desktop::Size{.width = 760, .height = 640}));
    EXPECT_EQ(engine->registeredPluginNames(),
              (std::vector<std::string>{"BackendDocumentStorePlugin", "BackendFunctionsPlugin",
                                        "FilePickerPlugin",           "FileSelectorPlugin",
                                        "AnalyticsBridgePlugin",      "BackendAuthenticationPlugin",
                                        "BackendCorePlugin",          "PushMessagingPlugin",
                                        "CloudFileStoragePlugin",     "SecureStoragePlugin",
                                        "GeolocationPlugin",          "LocalAuthenticationPlugin",
                                        "PackageInformationPlugin",   "PrintingPlugin",
                                        "CrashReportingPlugin",       "SharingPlugin",
                                        "SharedPreferencesPlugin",    "SpeechToTextPlugin",
                                        "SqliteStoragePlugin",        "UrlLauncherPlugin",
                                        "VideoPlayerPlugin"}));

    window.setFrame(desktop::Rect{.origin = storedFrame.origin, .size = {.width = 400, .height = 300}}, true);
    EXPECT_EQ(window.frame().size, (desktop::Size{.width = 760, .height = 640}));
}

} // namespace
