#include "Mirvo/ScreenCapturePlugin.hpp"

#include "Mirvo/HostLog.hpp"

#include "platform/core/Concatenated.hpp"
#include "platform/core/Error.hpp"
#include "platform/core/MainQueue.hpp"
#include "platform/core/ThreadPool.hpp"
#include "platform/desktop/ImageScaling.hpp"
#include "platform/desktop/JpegEncoding.hpp"
#include "platform/desktop/X11ScreenCapture.hpp"

#include <algorithm>
#include <cmath>
#include <exception>
#include <utility>

namespace mirvo {

namespace ui = platform::ui;
namespace desktop = platform::desktop;

ScreenCapturePlugin::ScreenCapturePlugin(ui::BinaryMessenger& messenger) : ScreenCapturePlugin(messenger, Services{}) {}

ScreenCapturePlugin::ScreenCapturePlugin(ui::BinaryMessenger& messenger, Services services)
    : ChannelPlugin(messenger, "mirvo/screen_capture"), capture_(services.screenCapture()) {}

std::shared_ptr<desktop::ScreenCapture> ScreenCapturePlugin::x11ScreenCapture() {
    return std::make_shared<desktop::X11ScreenCapture>();
}

void ScreenCapturePlugin::handle(const ui::MethodCall& call, const ui::MethodResult& result) {
    if (call.method == "requestPermission") {
        requestPermission(result);
    } else if (call.method == "captureFrame") {
        captureFrame(result);
    } else if (call.method == "stop") {
        result.success();
    } else {
        ChannelPlugin::handle(call, result);
    }
}

void ScreenCapturePlugin::requestPermission(const ui::MethodResult& result) const {
    if (capture_->preflightAccess()) {
        result.success(true);
        return;
    }
    const bool granted = capture_->requestAccess();
    if (!granted) {
        hostLog("screen recording permission denied");
    }
    result.success(granted);
}

void ScreenCapturePlugin::captureFrame(const ui::MethodResult& result) {
    if (!capture_->preflightAccess()) {
        hostLog("capture skipped \u2014 screen recording no longer permitted");
        result.success();
        return;
    }
    platform::core::ThreadPool::shared().submit(
        [weakSelf = weak_from_this(), capture = capture_, &mainQueue = mainQueue(), result] {
            auto frame = capturedFrame(*capture);
            // Once the plug-in is gone its calls go unanswered, and its main queue may be gone too.
            if (weakSelf.expired()) {
                return;
            }
            // Replies are given on the main queue, as every other reply of the host.
            mainQueue.async([result, frame = std::move(frame)] { result.success(frame); });
        });
}

ui::Value ScreenCapturePlugin::capturedFrame(desktop::ScreenCapture& capture) {
    std::vector<desktop::Image> images;
    try {
        const auto displays = capture.shareableDisplays();
        if (displays.empty()) {
            hostLog("capture found no displays");
            return {};
        }
        // One display at a time, never in parallel.
        for (const auto& display : displays) {
            images.push_back(capture.screenshot(
                display,
                {.width = display.width, .height = display.height, .bestResolution = true, .showsCursor = true}));
        }
    } catch (...) {
        hostLog(platform::core::concatenated(
            {"screen capture failed \u2014 ", platform::core::describe(std::current_exception())}));
        return {};
    }
    const auto picture = composite(images);
    if (!picture) {
        return {};
    }
    auto bytes = jpegData(*picture, images.size());
    if (!bytes) {
        return {};
    }
    return ui::Bytes{.data = std::move(*bytes)};
}

std::optional<desktop::Image> ScreenCapturePlugin::composite(const std::vector<desktop::Image>& images) {
    if (images.empty()) {
        return std::nullopt;
    }
    if (images.size() == 1) {
        return images.front();
    }
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    for (const auto& image : images) {
        width += image.width;
        height = std::max(height, image.height);
    }
    auto canvas = desktop::Image::black(width, height);
    std::size_t left = 0;
    for (const auto& image : images) {
        const std::size_t top = height - image.height;
        for (std::uint32_t row = 0; row < image.height; ++row) {
            std::copy_n(image.pixels.begin() + static_cast<std::ptrdiff_t>(row * image.rowBytes()), image.rowBytes(),
                        canvas.pixels.begin() + static_cast<std::ptrdiff_t>((top + row) * canvas.rowBytes() +
                                                                            left * desktop::Image::bytesPerPixel));
        }
        left += image.width;
    }
    return canvas;
}

std::optional<std::vector<std::uint8_t>> ScreenCapturePlugin::jpegData(const desktop::Image& from,
                                                                       std::size_t displayCount) {
    const auto limit = static_cast<std::uint32_t>(std::max<std::size_t>(displayCount, 1) * widthPerDisplay);
    if (from.width <= limit) {
        return desktop::jpegData(from, jpegCompressionFactor);
    }
    const double height = std::round(double(limit) / from.width * from.height);
    const auto scaledHeight = std::max<std::uint32_t>(static_cast<std::uint32_t>(height), 1);
    return desktop::jpegData(desktop::scaled(from, limit, scaledHeight), jpegCompressionFactor);
}

} // namespace mirvo
