#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform::desktop {

struct MenuItem {
    std::string title = {};
    // With the menu's default Command modifier; empty for none.
    std::string keyEquivalent = {};
    // Run when the entry is chosen; empty for a separator or an entry without action.
    std::function<void()> action = {};
    bool isSeparator = false;

    static MenuItem separator() { return MenuItem{.isSeparator = true}; }
};

// A menu: its entries in order. Used on the main queue only.
class Menu {
public:
    std::vector<MenuItem>& items() { return items_; }
    const std::vector<MenuItem>& items() const { return items_; }
    void addItem(MenuItem item) { items_.push_back(std::move(item)); }

    // The user chose the entry: its action runs.
    void choose(std::size_t index) const;

private:
    std::vector<MenuItem> items_;
};

} // namespace platform::desktop
