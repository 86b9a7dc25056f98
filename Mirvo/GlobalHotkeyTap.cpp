#include "Mirvo/GlobalHotkeyTap.hpp"

namespace mirvo {

std::shared_ptr<GlobalHotkeyTap> GlobalHotkeyTap::shared;

GlobalHotkeyTap::GlobalHotkeyTap(platform::ui::BinaryMessenger& messenger)
    : ChannelPlugin(messenger, "mirvo/hotkey", "mirvo/hotkey_events") {}

} // namespace mirvo
