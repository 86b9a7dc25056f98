#pragma once

#include "platform/desktop/Menu.hpp"
#include "platform/desktop/StatusBarButton.hpp"

#include <memory>
#include <optional>

namespace platform::desktop {

// An item in the menu bar. A click on its button opens its menu when one is attached, and otherwise sends the
// button's action. Used on the main queue only.
class StatusItem {
public:
    static constexpr double variableLength = -1;
    static constexpr double squareLength = -2;

    StatusItem(double length, bool hasButton);

    double length() const { return length_; }
    void setLength(double length) { length_ = length; }

    StatusBarButton* button() { return button_ ? &*button_ : nullptr; }

    const std::shared_ptr<Menu>& menu() const { return menu_; }
    void setMenu(std::shared_ptr<Menu> menu) { menu_ = std::move(menu); }

    // The user clicked the button with the mouse event `type`.
    void click(ApplicationEventType type);
    // A click done by the program: the menu opens if one is attached, else the action is sent.
    void performClick();
    // Times the menu was opened.
    int menuOpenCount() const { return menuOpenCount_; }

private:
    double length_;
    std::optional<StatusBarButton> button_;
    std::shared_ptr<Menu> menu_;
    int menuOpenCount_ = 0;
};

// The system's menu bar, which makes the items. In process: it keeps them for whoever looks at them.
class StatusBar {
public:
    explicit StatusBar(bool itemsHaveButtons = true) : itemsHaveButtons_(itemsHaveButtons) {}

    std::shared_ptr<StatusItem> statusItem(double length);
    const std::vector<std::shared_ptr<StatusItem>>& items() const { return items_; }

private:
    const bool itemsHaveButtons_;
    std::vector<std::shared_ptr<StatusItem>> items_;
};

} // namespace platform::desktop
