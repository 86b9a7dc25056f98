#pragma once

#include "Mirvo/ChannelPlugin.hpp"

#include "platform/desktop/Image.hpp"
#include "platform/desktop/ScreenCapture.hpp"
#include "platform/ui/BinaryMessenger.hpp"
#include "platform/ui/MethodCall.hpp"
#include "platform/ui/MethodResult.hpp"
#include "platform/ui/Value.hpp"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace mirvo {

// One JPEG of every display, side by side, at most 1440 pixels wide per display. "captureFrame" captures on the
// shared pool and replies on the main queue; the plug-in keeps nothing between calls.
class ScreenCapturePlugin : public ChannelPlugin {
public:
    using ScreenCaptureFactory = std::function<std::shared_ptr<platform::desktop::ScreenCapture>()>;

    struct Services {
        // The X11 displays of "DISPLAY".
        ScreenCaptureFactory screenCapture = x11ScreenCapture;
    };

    static constexpr std::uint32_t widthPerDisplay = 1440;
    static constexpr double jpegCompressionFactor = 0.8;

    explicit ScreenCapturePlugin(platform::ui::BinaryMessenger& messenger);
    ScreenCapturePlugin(platform::ui::BinaryMessenger& messenger, Services services);

    static std::shared_ptr<platform::desktop::ScreenCapture> x11ScreenCapture();

    // The images side by side, left to right in list order, on black; shorter images sit at the bottom. One
    // image is returned as it is; none for no images.
    static std::optional<platform::desktop::Image> composite(const std::vector<platform::desktop::Image>& images);
    // The image scaled down to at most `widthPerDisplay` per display, keeping its proportions, as JPEG.
    static std::optional<std::vector<std::uint8_t>> jpegData(const platform::desktop::Image& from,
                                                             std::size_t displayCount);

protected:
    void handle(const platform::ui::MethodCall& call, const platform::ui::MethodResult& result) override;

private:
    void requestPermission(const platform::ui::MethodResult& result) const;
    void captureFrame(const platform::ui::MethodResult& result);
    // Pool thread: the JPEG bytes, or null when anything failed.
    static platform::ui::Value capturedFrame(platform::desktop::ScreenCapture& capture);

    const std::shared_ptr<platform::desktop::ScreenCapture> capture_;
};

} // namespace mirvo
