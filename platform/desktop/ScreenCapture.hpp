#pragma once

#include "platform/desktop/Image.hpp"

#include <cstdint>
#include <vector>

namespace platform::desktop {

// One display that can be captured: where it lies on which screen, in pixels.
struct ShareableDisplay {
    int screen = 0;
    int x = 0;
    int y = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
};

struct ScreenshotConfiguration {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    bool bestResolution = true;
    bool showsCursor = true;
};

// Still pictures of the displays.
class ScreenCapture {
public:
    virtual ~ScreenCapture() = default;

    // Whether capturing is permitted, without asking the user.
    virtual bool preflightAccess() = 0;
    // Asks the user where the system does; whether capturing is permitted now.
    virtual bool requestAccess() = 0;
    // The displays on screen now, in the system's order. Throws core::SystemError.
    virtual std::vector<ShareableDisplay> shareableDisplays() = 0;
    // One picture of the display. Throws core::SystemError.
    virtual Image screenshot(const ShareableDisplay& display, const ScreenshotConfiguration& configuration) = 0;
};

} // namespace platform::desktop
