#pragma once

#include "platform/desktop/Rect.hpp"

#include <optional>

namespace mirvo {

// Where the panel's bottom-left corner goes, in screen coordinates with y growing upwards: centred under the
// status item's button with its top edge 6 points below it, above the item instead when it would reach below
// the visible frame, and kept 6 points inside the visible frame's sides (the right side winning when the
// panel is wider than the frame). Without a visible frame only the first rule applies.
platform::desktop::Point panelOrigin(const platform::desktop::Rect& button, const platform::desktop::Size& panel,
                                     const std::optional<platform::desktop::Rect>& visibleFrame);

} // namespace mirvo
