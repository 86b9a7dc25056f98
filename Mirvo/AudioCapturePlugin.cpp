#include "Mirvo/AudioCapturePlugin.hpp"

#include "platform/core/MainQueue.hpp"

#include <memory>
#include <utility>

namespace mirvo {

AudioCapturePlugin::AudioCapturePlugin(platform::ui::BinaryMessenger& messenger, const std::string& methodChannelName,
                                       const std::string& eventChannelName, InputLevelMeter::WallClock wallClock)
    : ChannelPlugin(messenger, methodChannelName, eventChannelName), levelMeter_(std::move(wallClock)) {}

void AudioCapturePlugin::emitLevel(const platform::audio::PCMBuffer& from) {
    if (const auto level = levelMeter_.level(from)) {
        emit({{"type", "level"}, {"level", *level}});
    }
}

void AudioCapturePlugin::requestMicrophoneAccess(const AccessRequest& request, const platform::ui::MethodResult& result,
                                                 StartCapture startCapture, const std::string& deniedMessage) {
    request([weakSelf = weak_from_this(), &mainQueue = mainQueue(), result, startCapture = std::move(startCapture),
             deniedMessage](bool granted) {
        mainQueue.async([weakSelf, result, startCapture, deniedMessage, granted] {
            const auto self = weakSelf.lock();
            if (!self) {
                return;
            }
            if (!granted) {
                self->emitError("permission-denied", deniedMessage);
                result.success();
                return;
            }
            startCapture(result);
        });
    });
}

} // namespace mirvo
