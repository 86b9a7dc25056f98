#pragma once

#include "platform/desktop/ScreenCapture.hpp"

#include <optional>
#include <string>

namespace platform::desktop {

// Screen capture on an X11 display: every screen's monitors as XRandR lists them (the whole screen when it
// has none), each captured from its screen's root window. X11 asks nobody for permission, so access is always
// granted; an unreachable display fails the listing. The pointer is not part of a root window's image, so
// pictures never show it.
class X11ScreenCapture final : public ScreenCapture {
public:
    // The display named, or "DISPLAY"'s when none is.
    explicit X11ScreenCapture(std::optional<std::string> displayName = std::nullopt);

    bool preflightAccess() override { return true; }
    bool requestAccess() override { return true; }
    std::vector<ShareableDisplay> shareableDisplays() override;
    Image screenshot(const ShareableDisplay& display, const ScreenshotConfiguration& configuration) override;

private:
    const std::optional<std::string> displayName_;
};

} // namespace platform::desktop
