#pragma once

#include "Mirvo/ChannelPlugin.hpp"
#include "Mirvo/InputLevelMeter.hpp"

#include "platform/audio/PCMBuffer.hpp"
#include "platform/ui/BinaryMessenger.hpp"
#include "platform/ui/MethodResult.hpp"

#include <functional>
#include <string>

namespace mirvo {

// What the plug-ins that capture the microphone share besides the channels: the permission flow and the
// input-level meter.
class AudioCapturePlugin : public ChannelPlugin {
public:
    // Receives the platform's answer to an access request, on any thread.
    using AccessAnswer = std::function<void(bool granted)>;
    // Asks the platform for access to the capture device; the answer is given exactly once.
    using AccessRequest = std::function<void(AccessAnswer answer)>;
    // Starts the capture session and answers the call once it runs or has failed.
    using StartCapture = std::function<void(const platform::ui::MethodResult& result)>;

    static constexpr const char* microphoneDenied = "Microphone denied";

    // Run on the audio thread for every captured buffer, before anything else is done with it.
    void emitLevel(const platform::audio::PCMBuffer& from);

protected:
    AudioCapturePlugin(platform::ui::BinaryMessenger& messenger, const std::string& methodChannelName,
                       const std::string& eventChannelName,
                       InputLevelMeter::WallClock wallClock = InputLevelMeter::systemWallClock());

    // Asks for access and acts on the answer on the main queue, if the plug-in is still there. Denied: the
    // error event "permission-denied" with `deniedMessage`, and success with no value, since the event is
    // what tells the failure. Granted: `startCapture` answers the call.
    void requestMicrophoneAccess(const AccessRequest& request, const platform::ui::MethodResult& result,
                                 StartCapture startCapture, const std::string& deniedMessage = microphoneDenied);

private:
    InputLevelMeter levelMeter_;
};

} // namespace mirvo
