#include "platform/desktop/StatusItem.hpp"

namespace platform::desktop {

StatusItem::StatusItem(double length, bool hasButton) : length_(length) {
    if (hasButton) {
        button_.emplace();
    }
}

void StatusItem::click(ApplicationEventType type) {
    if (button_ && !menu_ && !button_->sendsActionOn.contains(type)) {
        return;
    }
    performClick();
}

void StatusItem::performClick() {
    if (menu_) {
        ++menuOpenCount_;
        return;
    }
    if (button_ && button_->action) {
        button_->action();
    }
}

std::shared_ptr<StatusItem> StatusBar::statusItem(double length) {
    items_.push_back(std::make_shared<StatusItem>(length, itemsHaveButtons_));
    return items_.back();
}

} // namespace platform::desktop
