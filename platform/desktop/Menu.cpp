#include "platform/desktop/Menu.hpp"

namespace platform::desktop {

void Menu::choose(std::size_t index) const {
    if (const auto& action = items_.at(index).action) {
        action();
    }
}

} // namespace platform::desktop
