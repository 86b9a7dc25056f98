#include "ChannelHarness.hpp"

#include "Mirvo/ScreenCapturePlugin.hpp"

#include "platform/core/SystemError.hpp"
#include "platform/desktop/Image.hpp"
#include "platform/desktop/ScreenCapture.hpp"
#include "platform/desktop/X11ScreenCapture.hpp"
#include "tests/support/RecordingLogSink.hpp"
#include "tests/support/XvfbServer.hpp"

#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace mirvo {
namespace {

namespace ui = platform::ui;
namespace desktop = platform::desktop;

constexpr const char* channel = "mirvo/screen_capture";

struct PixelSize {
    int width = 0;
    int height = 0;
    bool operator==(const PixelSize&) const = default;
};

// The size a JPEG file declares.
std::optional<PixelSize> jpegSize(const std::vector<std::uint8_t>& bytes) {
    tjhandle decoder = tjInitDecompress();
    PixelSize size;
    int subsampling = 0;
    int colourspace = 0;
    const int failed =
        tjDecompressHeader3(decoder, bytes.data(), bytes.size(), &size.width, &size.height, &subsampling, &colourspace);
    tjDestroy(decoder);
    return failed == 0 ? std::optional(size) : std::nullopt;
}

desktop::Image filled(std::uint32_t width, std::uint32_t height, std::uint8_t value) {
    auto image = desktop::Image::black(width, height);
    std::ranges::fill(image.pixels, value);
    return image;
}

std::optional<PixelSize> jpegSizeOf(const std::optional<ui::MethodReply>& reply) {
    const auto* value = reply ? std::get_if<ui::Value>(&*reply) : nullptr;
    const auto* bytes = value ? value->get<ui::Bytes>() : nullptr;
    return bytes ? jpegSize(bytes->data) : std::nullopt;
}

// A screen capture whose permission, displays and failures the test chooses.
class ScriptedScreenCapture final : public desktop::ScreenCapture {
public:
    bool preflightAccess() override { return permitted; }
    bool requestAccess() override {
        ++requests;
        return grantsRequest;
    }
    std::vector<desktop::ShareableDisplay> shareableDisplays() override {
        if (listingFails) {
            throw platform::core::SystemError("com.apple.ScreenCaptureKit.SCStreamErrorDomain", -3801,
                                              "The user declined TCCs");
        }
        std::vector<desktop::ShareableDisplay> displays;
        for (const auto& image : images) {
            displays.push_back({.width = image.width, .height = image.height});
        }
        return displays;
    }
    desktop::Image screenshot(const desktop::ShareableDisplay& display,
                              const desktop::ScreenshotConfiguration&) override {
        ++screenshots;
        const auto found =
            std::ranges::find_if(images, [&](const auto& image) { return image.width == display.width; });
        return *found;
    }

    bool permitted = true;
    bool grantsRequest = false;
    bool listingFails = false;
    int requests = 0;
    int screenshots = 0;
    std::vector<desktop::Image> images;
};

class ScreenCapturePluginTests : public ::testing::Test {
protected:
    std::optional<ui::MethodReply> call(const std::string& method) { return harness.callAndWait(channel, method); }

    bool logged(const std::string& line) const {
        const auto all = log.messages();
        return std::ranges::find(all, line) != all.end();
    }

    testsupport::RecordingLogSink log;
    testing::ChannelHarness harness;
    std::shared_ptr<ScriptedScreenCapture> capture = std::make_shared<ScriptedScreenCapture>();
    std::shared_ptr<ScreenCapturePlugin> plugin = std::make_shared<ScreenCapturePlugin>(
        harness.messenger(), ScreenCapturePlugin::Services{.screenCapture = [this] { return capture; }});
};

TEST_F(ScreenCapturePluginTests, EachDisplayIsAtMostFourteenHundredFortyPixelsWide) {
    const struct {
        std::vector<PixelSize> screenshots;
        PixelSize jpeg;
    } cases[] = {
        {{{2560, 1600}}, {1440, 900}},
        {{{1280, 800}}, {1280, 800}},
        {{{1920, 1080}, {2560, 1440}}, {2880, 926}},
    };
    for (const auto& example : cases) {
        std::vector<desktop::Image> images;
        for (const auto& size : example.screenshots) {
            images.push_back(
                filled(static_cast<std::uint32_t>(size.width), static_cast<std::uint32_t>(size.height), 200));
        }
        const auto picture = ScreenCapturePlugin::composite(images);
        ASSERT_TRUE(picture);
        const auto bytes = ScreenCapturePlugin::jpegData(*picture, images.size());
        ASSERT_TRUE(bytes);
        EXPECT_EQ(jpegSize(*bytes), example.jpeg);
    }
}

TEST_F(ScreenCapturePluginTests, TheCompositeSetsImagesSideBySideOnBlackFromTheBottom) {
    EXPECT_FALSE(ScreenCapturePlugin::composite({}));
    const auto single = filled(3, 2, 9);
    EXPECT_EQ(ScreenCapturePlugin::composite({single}), single);

    const auto picture = ScreenCapturePlugin::composite({filled(2, 1, 50), filled(1, 2, 100)});
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->width, 3U);
    EXPECT_EQ(picture->height, 2U);
    const std::vector<std::uint8_t> rows{0, 0, 0, 0, 0, 0, 100, 100, 100, 50, 50, 50, 50, 50, 50, 100, 100, 100};
    EXPECT_EQ(picture->pixels, rows);
}

TEST_F(ScreenCapturePluginTests, PermissionIsAskedOnlyByRequestPermission) {
    EXPECT_EQ(call("requestPermission"), ui::MethodReply(ui::Value(true)));
    EXPECT_EQ(capture->requests, 0);

    capture->permitted = false;
    EXPECT_EQ(call("requestPermission"), ui::MethodReply(ui::Value(false)));
    EXPECT_EQ(capture->requests, 1);
    EXPECT_TRUE(logged("Mirvo: screen recording permission denied"));

    EXPECT_EQ(call("captureFrame"), ui::MethodReply(ui::Value()));
    EXPECT_EQ(capture->requests, 1);
    EXPECT_EQ(capture->screenshots, 0);
    EXPECT_TRUE(logged("Mirvo: capture skipped \u2014 screen recording no longer permitted"));
    EXPECT_EQ(call("stop"), ui::MethodReply(ui::Value()));
}

TEST_F(ScreenCapturePluginTests, AFailedCaptureRepliesWithoutAValueAndLogs) {
    EXPECT_EQ(call("captureFrame"), ui::MethodReply(ui::Value()));
    EXPECT_TRUE(logged("Mirvo: capture found no displays"));

    capture->listingFails = true;
    EXPECT_EQ(call("captureFrame"), ui::MethodReply(ui::Value()));
    EXPECT_TRUE(logged("Mirvo: screen capture failed \u2014 The user declined TCCs"));
}

TEST_F(ScreenCapturePluginTests, TheCaptureIsAnsweredOnTheMainQueue) {
    capture->images = {filled(640, 480, 30)};
    std::optional<bool> onMainQueue;
    std::optional<ui::MethodReply> reply;
    harness.messenger().send(channel, ui::MethodCall{.method = "captureFrame", .arguments = {}},
                             [&](const ui::MethodReply& answer) {
                                 onMainQueue = harness.mainQueue().isCurrent();
                                 reply = answer;
                             });
    harness.runUntil([&] { return reply.has_value(); });
    EXPECT_EQ(onMainQueue, true);
    EXPECT_EQ(jpegSizeOf(reply), (PixelSize{640, 480}));
}

TEST(ScreenCaptureX11Tests, EveryScreenOfTheDisplayIsInTheJpeg) {
    if (!testsupport::XvfbServer::binary()) {
        GTEST_SKIP() << "no Xvfb";
    }
    const testsupport::XvfbServer server({"1920x1080x24", "2560x1440x24"});
    testing::ChannelHarness harness;
    const auto plugin = std::make_shared<ScreenCapturePlugin>(
        harness.messenger(), ScreenCapturePlugin::Services{.screenCapture = [&server] {
            return std::make_shared<desktop::X11ScreenCapture>(server.display());
        }});
    EXPECT_EQ(harness.callAndWait(channel, "requestPermission"), ui::MethodReply(ui::Value(true)));
    // 1920 + 2560 pixels side by side, scaled to 2 x 1440 wide.
    EXPECT_EQ(jpegSizeOf(harness.callAndWait(channel, "captureFrame")), (PixelSize{2880, 926}));
}

TEST(ScreenCaptureX11Tests, WithoutADisplayTheCaptureFails) {
    testsupport::RecordingLogSink log;
    testing::ChannelHarness harness;
    const auto plugin =
        std::make_shared<ScreenCapturePlugin>(harness.messenger(), ScreenCapturePlugin::Services{.screenCapture = [] {
                                                  return std::make_shared<desktop::X11ScreenCapture>(":9999");
                                              }});
    EXPECT_EQ(harness.callAndWait(channel, "captureFrame"), ui::MethodReply(ui::Value()));
    EXPECT_EQ(log.messages(),
              std::vector<std::string>{"Mirvo: screen capture failed \u2014 Cannot open the X display :9999"});
}

} // namespace
} // namespace mirvo
