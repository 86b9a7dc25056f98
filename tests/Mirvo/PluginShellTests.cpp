#include "ChannelHarness.hpp"

#include "Mirvo/DictationCuesPlugin.hpp"
#include "Mirvo/DictationPlugin.hpp"
#include "Mirvo/GlobalHotkeyTap.hpp"
#include "Mirvo/ScreenCapturePlugin.hpp"
#include "Mirvo/StatusBarController.hpp"
#include "Mirvo/TextInserter.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace mirvo {
namespace {

namespace ui = platform::ui;

// Registers the plug-in the way start-up does and returns what releases it again.
template <typename Plugin>
std::function<void()> registerShared(ui::BinaryMessenger& messenger) {
    Plugin::shared = std::make_shared<Plugin>(messenger);
    return [] { Plugin::shared.reset(); };
}

struct Shell {
    std::string name;
    std::function<std::function<void()>(ui::BinaryMessenger&)> registration;
    std::string methodChannel;
    std::string eventChannel;
};

const Shell shells[] = {
    {"DictationPlugin", registerShared<DictationPlugin>, "mirvo/dictation", "mirvo/dictation_events"},
    {"ScreenCapturePlugin", registerShared<ScreenCapturePlugin>, "mirvo/screen_capture", ""},
    {"TextInserter", registerShared<TextInserter>, "mirvo/insert_text", ""},
    {"StatusBarController", registerShared<StatusBarController>, "mirvo/status_bar", "mirvo/status_bar_events"},
    {"DictationCuesPlugin", registerShared<DictationCuesPlugin>, "mirvo/dictation_cues", ""},
};

TEST(PluginShellTests, EveryShellAnswersNotImplementedOnItsMethodChannel) {
    for (const auto& shell : shells) {
        testing::ChannelHarness harness;
        const auto release = shell.registration(harness.messenger());
        EXPECT_TRUE(harness.messenger().hasMessageHandler(shell.methodChannel)) << shell.name;
        EXPECT_EQ(harness.call(shell.methodChannel, "noSuchMethod", ui::ValueMap{{"locale", "en-US"}}),
                  ui::MethodReply(ui::NotImplemented{}))
            << shell.name;
        release();
        EXPECT_FALSE(harness.messenger().hasMessageHandler(shell.methodChannel)) << shell.name;
    }
}

TEST(PluginShellTests, ShellsWithAnEventChannelAcceptListenAndCancel) {
    for (const auto& shell : shells) {
        if (shell.eventChannel.empty()) {
            continue;
        }
        testing::ChannelHarness harness;
        const auto release = shell.registration(harness.messenger());
        EXPECT_EQ(harness.listen(shell.eventChannel), ui::MethodReply(ui::Value())) << shell.name;
        EXPECT_EQ(harness.cancel(shell.eventChannel), ui::MethodReply(ui::Value())) << shell.name;
        release();
        EXPECT_FALSE(harness.messenger().hasMessageHandler(shell.eventChannel)) << shell.name;
    }
}

TEST(PluginShellTests, RegisteringAgainReleasesTheEarlierInstanceAndKeepsTheChannelsOfTheNewOne) {
    testing::ChannelHarness harness;
    GlobalHotkeyTap::shared = std::make_shared<GlobalHotkeyTap>(harness.messenger());
    const std::weak_ptr<GlobalHotkeyTap> first = GlobalHotkeyTap::shared;
    GlobalHotkeyTap::shared = std::make_shared<GlobalHotkeyTap>(harness.messenger());

    EXPECT_TRUE(first.expired());
    EXPECT_TRUE(harness.messenger().hasMessageHandler("mirvo/hotkey"));
    EXPECT_EQ(harness.listen("mirvo/hotkey_events"), ui::MethodReply(ui::Value()));
    GlobalHotkeyTap::shared.reset();
}

} // namespace
} // namespace mirvo
