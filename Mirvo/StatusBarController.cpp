#include "Mirvo/StatusBarController.hpp"

namespace mirvo {

std::shared_ptr<StatusBarController> StatusBarController::shared;

StatusBarController::StatusBarController(platform::ui::BinaryMessenger& messenger)
    : ChannelPlugin(messenger, "mirvo/status_bar", "mirvo/status_bar_events") {}

} // namespace mirvo
