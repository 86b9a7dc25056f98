#pragma once

#include "platform/desktop/ApplicationEvent.hpp"
#include "platform/desktop/Rect.hpp"

#include <functional>
#include <optional>
#include <set>
#include <string>

namespace platform::desktop {

// A system symbol image.
struct SymbolImage {
    std::string symbolName;
    std::string accessibilityDescription;
    // Drawn in the menu bar's own colours.
    bool isTemplate = false;
    bool operator==(const SymbolImage&) const = default;
};

// The clickable part of a status item. Used on the main queue only.
class StatusBarButton {
public:
    std::optional<SymbolImage> image;
    std::string title;
    std::string toolTip;
    // None: the system's colour.
    std::optional<std::string> contentTintColor;
    std::function<void()> action;
    std::set<ApplicationEventType> sendsActionOn{ApplicationEventType::leftMouseUp};

    // The button's bounds on screen (y growing upwards); none while it has no window.
    std::optional<Rect> frameOnScreen;
    // The visible frame of its window's screen, or of the main screen; none without a screen.
    std::optional<Rect> screenVisibleFrame;
};

} // namespace platform::desktop
