#include "Mirvo/NativePlugins.hpp"

#include "Mirvo/DictationCuesPlugin.hpp"
#include "Mirvo/DictationPlugin.hpp"
#include "Mirvo/GlobalHotkeyTap.hpp"
#include "Mirvo/ParaformerPlugin.hpp"
#include "Mirvo/ParakeetPlugin.hpp"
#include "Mirvo/ScreenCapturePlugin.hpp"
#include "Mirvo/StatusBarController.hpp"
#include "Mirvo/TextInserter.hpp"

#include <memory>
#include <string>

namespace mirvo {

namespace {

template <class Plugin> std::shared_ptr<ChannelPlugin> make(platform::ui::BinaryMessenger& messenger, PluginRegistry&) {
    return std::make_shared<Plugin>(messenger);
}

// The cue plug-in registers after the tap, so the tap looks it up at each cue.
std::shared_ptr<ChannelPlugin> makeHotkeyTap(platform::ui::BinaryMessenger& messenger, PluginRegistry& registry) {
    return std::make_shared<GlobalHotkeyTap>(messenger, platform::desktop::KeyboardSession::shared(),
                                             [&registry](const std::string& which) {
                                                 if (const auto cues = registry.find<DictationCuesPlugin>()) {
                                                     cues->playCue(which);
                                                 }
                                             });
}

std::shared_ptr<ChannelPlugin> makeStatusBar(platform::ui::BinaryMessenger& messenger, PluginRegistry& registry) {
    return std::make_shared<StatusBarController>(messenger,
                                                 StatusBarController::Services{.application = registry.application()});
}

} // namespace

const std::array<NativePlugin, 8> nativePlugins{{
    {.name = "DictationPlugin", .make = make<DictationPlugin>},
    {.name = "ParakeetPlugin", .make = make<ParakeetPlugin>},
    {.name = "ParaformerPlugin", .make = make<ParaformerPlugin>},
    {.name = "ScreenCapturePlugin", .make = make<ScreenCapturePlugin>},
    {.name = "GlobalHotkeyTap", .make = makeHotkeyTap},
    {.name = "TextInserter", .make = make<TextInserter>},
    {.name = "StatusBarController", .make = makeStatusBar},
    {.name = "DictationCuesPlugin", .make = make<DictationCuesPlugin>},
}};

} // namespace mirvo
