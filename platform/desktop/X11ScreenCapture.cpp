#include "platform/desktop/X11ScreenCapture.hpp"

#include "platform/core/SystemError.hpp"
#include "platform/desktop/X11Errors.hpp"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xrandr.h>

#include <bit>
#include <memory>

namespace platform::desktop {

namespace {

constexpr const char* errorDomain = "platform.desktop.screencapture";

struct DisplayCloser {
    void operator()(Display* display) const { XCloseDisplay(display); }
};

using Connection = std::unique_ptr<Display, DisplayCloser>;

struct ImageDestroyer {
    void operator()(XImage* image) const { XDestroyImage(image); }
};

Connection connect(const std::optional<std::string>& name) {
    Connection connection(XOpenDisplay(name ? name->c_str() : nullptr));
    if (!connection) {
        throw core::SystemError(errorDomain, 1, "Cannot open the X display " + name.value_or("named by DISPLAY"));
    }
    return connection;
}

std::vector<ShareableDisplay> monitorsOf(Display* connection, int screen) {
    std::vector<ShareableDisplay> displays;
    int eventBase = 0;
    int errorBase = 0;
    if (XRRQueryExtension(connection, &eventBase, &errorBase)) {
        int count = 0;
        XRRMonitorInfo* monitors = XRRGetMonitors(connection, RootWindow(connection, screen), True, &count);
        for (int index = 0; index < count; ++index) {
            const auto& monitor = monitors[index];
            displays.push_back({.screen = screen,
                                .x = monitor.x,
                                .y = monitor.y,
                                .width = static_cast<std::uint32_t>(monitor.width),
                                .height = static_cast<std::uint32_t>(monitor.height)});
        }
        XRRFreeMonitors(monitors);
    }
    if (displays.empty()) {
        displays.push_back({.screen = screen,
                            .x = 0,
                            .y = 0,
                            .width = static_cast<std::uint32_t>(DisplayWidth(connection, screen)),
                            .height = static_cast<std::uint32_t>(DisplayHeight(connection, screen))});
    }
    return displays;
}

// One 8-bit sample of a pixel from its channel mask.
std::uint8_t sample(unsigned long pixel, unsigned long mask) {
    if (mask == 0) {
        return 0;
    }
    const auto shift = std::countr_zero(mask);
    const auto bits = std::popcount(mask);
    const auto value = (pixel & mask) >> shift;
    const auto maximum = (1UL << bits) - 1;
    return static_cast<std::uint8_t>(value * 255 / maximum);
}

Image rgbOf(XImage& picture) {
    Image image = Image::black(static_cast<std::uint32_t>(picture.width), static_cast<std::uint32_t>(picture.height));
    auto* target = image.pixels.data();
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            const unsigned long pixel = XGetPixel(&picture, x, y);
            *target++ = sample(pixel, picture.red_mask);
            *target++ = sample(pixel, picture.green_mask);
            *target++ = sample(pixel, picture.blue_mask);
        }
    }
    return image;
}

} // namespace

X11ScreenCapture::X11ScreenCapture(std::optional<std::string> displayName) : displayName_(std::move(displayName)) {}

std::vector<ShareableDisplay> X11ScreenCapture::shareableDisplays() {
    const auto connection = connect(displayName_);
    std::vector<ShareableDisplay> displays;
    for (int screen = 0; screen < ScreenCount(connection.get()); ++screen) {
        const auto monitors = monitorsOf(connection.get(), screen);
        displays.insert(displays.end(), monitors.begin(), monitors.end());
    }
    return displays;
}

Image X11ScreenCapture::screenshot(const ShareableDisplay& display, const ScreenshotConfiguration&) {
    const auto connection = connect(displayName_);
    if (display.screen >= ScreenCount(connection.get())) {
        throw core::SystemError(errorDomain, 2, "The display is no longer there");
    }
    // A display that has shrunk since it was listed makes the request fail instead of ending the process.
    const X11ErrorTrap trap;
    const std::unique_ptr<XImage, ImageDestroyer> picture(
        XGetImage(connection.get(), RootWindow(connection.get(), display.screen), display.x, display.y, display.width,
                  display.height, AllPlanes, ZPixmap));
    if (!picture) {
        throw core::SystemError(errorDomain, 3, "Cannot read the screen's image");
    }
    return rgbOf(*picture);
}

} // namespace platform::desktop
