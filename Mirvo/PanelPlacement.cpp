#include "Mirvo/PanelPlacement.hpp"

namespace mirvo {

namespace {

constexpr double gap = 6;

} // namespace

platform::desktop::Point panelOrigin(const platform::desktop::Rect& button, const platform::desktop::Size& panel,
                                     const std::optional<platform::desktop::Rect>& visibleFrame) {
    const double buttonMidX = button.origin.x + button.size.width / 2;
    double x = buttonMidX - 0.5 * panel.width;
    double y = button.origin.y - panel.height - gap;
    if (visibleFrame) {
        const double minX = visibleFrame->origin.x;
        const double maxX = minX + visibleFrame->size.width;
        if (y < visibleFrame->origin.y) {
            y = button.origin.y + button.size.height + gap;
        }
        if (x <= minX + gap) {
            x = minX + gap;
        }
        if (maxX - panel.width - gap < x) {
            x = maxX - panel.width - gap;
        }
    }
    return {.x = x, .y = y};
}

} // namespace mirvo
