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

namespace mirvo {

namespace {

template <class Plugin> void registerPlugin(platform::ui::BinaryMessenger& messenger) {
    Plugin::shared = std::make_shared<Plugin>(messenger);
}

} // namespace

const std::array<NativePlugin, 8> nativePlugins{{
    {.name = "DictationPlugin", .registerWith = registerPlugin<DictationPlugin>},
    {.name = "ParakeetPlugin", .registerWith = registerPlugin<ParakeetPlugin>},
    {.name = "ParaformerPlugin", .registerWith = registerPlugin<ParaformerPlugin>},
    {.name = "ScreenCapturePlugin", .registerWith = registerPlugin<ScreenCapturePlugin>},
    {.name = "GlobalHotkeyTap", .registerWith = registerPlugin<GlobalHotkeyTap>},
    {.name = "TextInserter", .registerWith = registerPlugin<TextInserter>},
    {.name = "StatusBarController", .registerWith = registerPlugin<StatusBarController>},
    {.name = "DictationCuesPlugin", .registerWith = registerPlugin<DictationCuesPlugin>},
}};

void releaseNativePlugins() {
    DictationCuesPlugin::shared.reset();
    StatusBarController::shared.reset();
    TextInserter::shared.reset();
    GlobalHotkeyTap::shared.reset();
    ScreenCapturePlugin::shared.reset();
    ParaformerPlugin::shared.reset();
    ParakeetPlugin::shared.reset();
    DictationPlugin::shared.reset();
}

} // namespace mirvo
