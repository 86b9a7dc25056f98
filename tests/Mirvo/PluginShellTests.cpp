#include "ChannelHarness.hpp"

#include "Mirvo/DictationCuesPlugin.hpp"
#include "Mirvo/DictationPlugin.hpp"
#include "Mirvo/GlobalHotkeyTap.hpp"
#include "Mirvo/NativePlugins.hpp"
#include "Mirvo/PluginRegistry.hpp"
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
template <typename Plugin> std::function<void()> registerShared(ui::BinaryMessenger& messenger) {
    auto registry = std::make_shared<PluginRegistry>();
    registry->add(
        NativePlugin{.name = "plugin",
                     .make = [](ui::BinaryMessenger& messenger, PluginRegistry&) -> std::shared_ptr<ChannelPlugin> {
                         return std::make_shared<Plugin>(messenger);
                     }},
        messenger);
    return [registry] { registry->releaseAll(); };
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
    PluginRegistry registry;
    const NativePlugin& hotkeyTap = nativePlugins[4];
    registry.add(hotkeyTap, harness.messenger());
    const std::weak_ptr<GlobalHotkeyTap> first = registry.find<GlobalHotkeyTap>();
    registry.add(hotkeyTap, harness.messenger());

    EXPECT_TRUE(first.expired());
    EXPECT_TRUE(harness.messenger().hasMessageHandler("mirvo/hotkey"));
    EXPECT_EQ(harness.listen("mirvo/hotkey_events"), ui::MethodReply(ui::Value()));
    registry.releaseAll();
}

} // namespace
} // namespace mirvo
