#include "platform/audio/AudioEngine.hpp"

#include "tests/platform/audio/DeliveryRecorder.hpp"
#include "tests/support/ErrorText.hpp"

#include "platform/core/SystemError.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace platform::audio {
namespace {

using ::testing::ElementsAre;

AudioFormat monoFormat(double sampleRate) { return *AudioFormat::make(CommonFormat::float32, sampleRate, 1, false); }

// A device the test drives: it records how it is started and stopped and delivers the buffers the test gives it,
// keeping its own promise that nothing is delivered once stopped.
class FakeInputDevice final : public InputDevice {
public:
    AudioFormat format() const override { return monoFormat(44100); }

    void start(std::uint32_t bufferFrames, Delivery deliver) override {
        if (failure) {
            throw *failure;
        }
        std::lock_guard lock(mutex_);
        startedFrames.push_back(bufferFrames);
        deliver_ = std::move(deliver);
    }

    void stop() override {
        std::lock_guard lock(mutex_);
        ++stops;
        deliver_ = nullptr;
    }

    // Delivers a buffer as the capture thread would; false when the device is not running.
    bool capture(const PCMBuffer& buffer) {
        std::lock_guard lock(mutex_);
        if (!deliver_) {
            return false;
        }
        deliver_(buffer);
        return true;
    }

    std::optional<core::SystemError> failure;
    std::vector<std::uint32_t> startedFrames;
    int stops = 0;

private:
    std::mutex mutex_;
    Delivery deliver_;
};

std::shared_ptr<PCMBuffer> capturedBuffer(float sample) {
    auto buffer = PCMBuffer::make(monoFormat(44100), 4);
    buffer->setFrameLength(4);
    buffer->floatChannelData()[0][0] = sample;
    return buffer;
}

class AudioEngineTests : public ::testing::Test {
protected:
    std::shared_ptr<FakeInputDevice> device = std::make_shared<FakeInputDevice>();
    AudioEngine engine{device};
    testsupport::DeliveryRecorder tap;
};

TEST_F(AudioEngineTests, TheInputNodeHasOnlyBusZeroInTheDevicesFormat) {
    AudioInputNode& node = engine.inputNode();
    EXPECT_EQ(node.outputFormat(0), device->format());

    const std::function<void()> otherBus[] = {
        [&] { node.outputFormat(1); },
        [&] { node.installTap(1, 1024, std::nullopt, tap.callback()); },
        [&] { node.removeTap(-1); },
    };
    for (const auto& operation : otherBus) {
        EXPECT_THROW(operation(), std::out_of_range);
        EXPECT_EQ(testsupport::errorText(operation), "the input node has only bus 0");
    }
}

TEST_F(AudioEngineTests, TheOneTapTakesTheNodesFormatOrNone) {
    AudioInputNode& node = engine.inputNode();
    const auto otherFormat = [&] { node.installTap(0, 1024, monoFormat(48000), tap.callback()); };
    EXPECT_THROW(otherFormat(), std::invalid_argument);
    EXPECT_EQ(testsupport::errorText(otherFormat), "a tap on the input node must take the node's output format");

    node.installTap(0, 1024, device->format(), tap.callback());
    const auto secondTap = [&] { node.installTap(0, 1024, std::nullopt, tap.callback()); };
    EXPECT_THROW(secondTap(), std::invalid_argument);
    EXPECT_EQ(testsupport::errorText(secondTap), "bus 0 of the input node already has a tap");

    node.removeTap(0);
    EXPECT_NO_THROW(node.installTap(0, 1024, std::nullopt, tap.callback()));
}

TEST_F(AudioEngineTests, TheDeviceCapturesInBuffersOfTheTapsSize) {
    const struct {
        std::optional<std::uint32_t> tapSize;
        std::uint32_t deviceFrames;
    } cases[] = {{.tapSize = 512, .deviceFrames = 512},
                 {.tapSize = 0, .deviceFrames = AudioEngine::defaultBufferFrames},
                 {.tapSize = std::nullopt, .deviceFrames = AudioEngine::defaultBufferFrames}};
    for (const auto& c : cases) {
        auto caseDevice = std::make_shared<FakeInputDevice>();
        AudioEngine caseEngine(caseDevice);
        if (c.tapSize) {
            caseEngine.inputNode().installTap(0, *c.tapSize, std::nullopt, tap.callback());
        }
        caseEngine.start();
        EXPECT_THAT(caseDevice->startedFrames, ElementsAre(c.deviceFrames));
    }
    EXPECT_EQ(AudioEngine::defaultBufferFrames, 1024U);
}

TEST_F(AudioEngineTests, BuffersReachTheTapWhileItIsInstalledAndTheEngineRuns) {
    engine.start();
    EXPECT_TRUE(engine.isRunning());
    EXPECT_TRUE(device->capture(*capturedBuffer(1.0F)));

    engine.inputNode().installTap(0, 1024, std::nullopt, tap.callback());
    EXPECT_TRUE(device->capture(*capturedBuffer(2.0F)));
    engine.inputNode().removeTap(0);
    EXPECT_TRUE(device->capture(*capturedBuffer(3.0F)));
    engine.inputNode().installTap(0, 1024, std::nullopt, tap.callback());
    engine.stop();
    EXPECT_FALSE(device->capture(*capturedBuffer(4.0F)));

    const auto deliveries = tap.deliveries();
    ASSERT_EQ(deliveries.size(), 1U);
    EXPECT_EQ(deliveries[0].channels[0][0], 2.0F);
    EXPECT_FALSE(engine.isRunning());
    EXPECT_EQ(device->stops, 1);
}

TEST_F(AudioEngineTests, AFailedStartIsThrownAndLeavesTheEngineStopped) {
    for (const bool wasRunning : {false, true}) {
        auto caseDevice = std::make_shared<FakeInputDevice>();
        AudioEngine caseEngine(caseDevice);
        if (wasRunning) {
            caseEngine.start();
        }
        caseDevice->failure =
            core::SystemError("ALSA", 16, "Cannot open audio input \"default\": Device or resource busy");

        try {
            caseEngine.start();
            ADD_FAILURE() << "started";
        } catch (const core::SystemError& error) {
            EXPECT_EQ(error.domain(), "ALSA");
            EXPECT_EQ(error.code(), 16);
            EXPECT_STREQ(error.what(), "Cannot open audio input \"default\": Device or resource busy");
        }
        EXPECT_FALSE(caseEngine.isRunning()) << wasRunning;
        EXPECT_FALSE(caseDevice->capture(*capturedBuffer(1.0F))) << wasRunning;
    }
}

TEST_F(AudioEngineTests, DestroyingARunningEngineStopsItsDevice) {
    {
        AudioEngine running(device);
        running.start();
    }
    EXPECT_EQ(device->stops, 1);
}

TEST_F(AudioEngineTests, RemovingTheTapWaitsForTheBlockThatIsRunning) {
    std::promise<void> entered;
    std::promise<void> release;
    const std::shared_future<void> released = release.get_future().share();
    int blockRuns = 0;
    std::mutex orderMutex;
    std::vector<std::string> order;
    const auto note = [&](const std::string& event) {
        std::lock_guard lock(orderMutex);
        order.push_back(event);
    };
    engine.inputNode().installTap(0, 1024, std::nullopt, [&](const PCMBuffer&) {
        if (++blockRuns == 1) {
            entered.set_value();
            released.wait();
        }
        note("block returned");
    });
    engine.start();

    std::thread capture([&] { device->capture(*capturedBuffer(1.0F)); });
    entered.get_future().wait();
    std::thread remover([&] {
        engine.inputNode().removeTap(0);
        note("tap removed");
    });
    // Gives the remover time to reach the running block; the order below holds however long that takes.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    release.set_value();
    remover.join();
    capture.join();

    EXPECT_THAT(order, ElementsAre("block returned", "tap removed"));
    EXPECT_TRUE(device->capture(*capturedBuffer(2.0F)));
    EXPECT_EQ(blockRuns, 1);
}

} // namespace
} // namespace platform::audio
