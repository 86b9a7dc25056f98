#pragma once

#include "Mirvo/AudioCapturePlugin.hpp"

#include "platform/audio/InputDevice.hpp"
#include "platform/audio/MicrophoneAccess.hpp"
#include "platform/audio/PCMBuffer.hpp"
#include "platform/speech/SpeechAudioBufferRecognitionRequest.hpp"
#include "platform/speech/SpeechRecognitionService.hpp"
#include "platform/speech/SpeechRecognizer.hpp"
#include "platform/ui/BinaryMessenger.hpp"
#include "platform/ui/MethodCall.hpp"
#include "platform/ui/MethodResult.hpp"

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace platform::core {
class MainQueue;
}

namespace platform::audio {
class AudioEngine;
}

namespace mirvo {

class AudioOnlyConversion;

// Dictation through the system's speech recogniser: "prepare" picks the locale, "start" captures the
// microphone into a recognition request whose results come back as "partial" and "final" events, and
// "stop" replies with the last utterance. "startAudioOnly" instead sends the microphone's audio as 16 kHz
// mono float blocks in "audio" events. Only one of the two runs at a time.
//
// Everything but the capture tap runs on the main queue; recognition results and the stop time-out arrive
// there too. The tap reaches the plug-in through `this`: the destructor removes it before any member goes.
class DictationPlugin : public AudioCapturePlugin {
public:
    using SpeechRecognitionFactory = std::function<std::shared_ptr<platform::speech::SpeechRecognitionService>(
        platform::core::MainQueue& mainQueue)>;
    // The device a new capture engine listens to.
    using InputDeviceFactory = std::function<std::shared_ptr<platform::audio::InputDevice>()>;

    // What the plug-in takes from its surroundings; tests give their own.
    struct Services {
        SpeechRecognitionFactory speechRecognition = pocketsphinxRecognition;
        platform::audio::MicrophoneAccess* microphoneAccess = &platform::audio::MicrophoneAccess::shared();
        InputDeviceFactory inputDevice = platform::audio::defaultInputDevice;
    };

    static constexpr double stopWaitSeconds = 3.0;

    explicit DictationPlugin(platform::ui::BinaryMessenger& messenger);
    DictationPlugin(platform::ui::BinaryMessenger& messenger, Services services);
    // Ends whatever runs, without replying to a waiting stop.
    ~DictationPlugin() override;

    // The system's recognition on Linux: the installed pocketsphinx models.
    static std::shared_ptr<platform::speech::SpeechRecognitionService>
    pocketsphinxRecognition(platform::core::MainQueue& mainQueue);

protected:
    void handle(const platform::ui::MethodCall& call, const platform::ui::MethodResult& result) override;

private:
    // Main queue.
    void getSupportedLocales(const platform::ui::MethodResult& result) const;
    void prepare(const platform::ui::MethodCall& call, const platform::ui::MethodResult& result);
    void start(const platform::ui::MethodResult& result);
    void startAudioOnly(const platform::ui::MethodResult& result);
    void stop(const platform::ui::MethodResult& result);
    void answerOrReport(const platform::ui::MethodResult& result, void (DictationPlugin::*begin)());

    void beginRecognition();
    void recognitionHandler(const std::optional<platform::speech::SpeechRecognitionResult>& result,
                            const std::exception_ptr& error);
    void restartRecognition();
    void endRecognition(bool cancelTask);
    std::shared_ptr<platform::speech::SpeechAudioBufferRecognitionRequest> makeRequest() const;
    std::shared_ptr<platform::speech::SpeechRecognitionTask>
    startTask(const std::shared_ptr<platform::speech::SpeechAudioBufferRecognitionRequest>& request);
    void setRequest(std::shared_ptr<platform::speech::SpeechAudioBufferRecognitionRequest> request);
    void stopEngine();
    // Takes the waiting stop's reply, ends the recognition and answers it with `text`.
    void answerPendingStop(const std::string& text);
    void answerStopAfterWait(std::uint64_t stopNumber);

    void beginAudioOnlyCapture();

    // Audio thread.
    void appendToRequest(const platform::audio::PCMBuffer& buffer);
    void emitAudioBuffer(const platform::audio::PCMBuffer& buffer);
    // The first channel's samples, when the buffer holds floats.
    void emitFloat32Buffer(const platform::audio::PCMBuffer& buffer);
    void emitAudio(const std::vector<float>& samples);
    void logFirstBuffer(const platform::audio::PCMBuffer& buffer);

    const Services services_;
    const std::shared_ptr<platform::speech::SpeechRecognitionService> speech_;

    std::unique_ptr<platform::audio::AudioEngine> audioEngine_;
    std::shared_ptr<platform::speech::SpeechRecognizer> recognizer_;
    // Written on the main queue, read by the tap.
    std::mutex requestMutex_;
    std::shared_ptr<platform::speech::SpeechAudioBufferRecognitionRequest> request_;
    std::shared_ptr<platform::speech::SpeechRecognitionTask> task_;
    std::vector<std::string> contextualPhrases_;
    // Audio-only capture's converter and target format: set before its engine starts and cleared only once the
    // engine has stopped, so the tap uses it alone while the capture runs. None when no converter can be made.
    std::unique_ptr<AudioOnlyConversion> conversion_;
    std::atomic<bool> firstBufferLogged_ = false;
    std::optional<platform::ui::MethodResult> pendingStop_;
    // The stop that is waiting, so that the time-out of an earlier stop leaves a later one alone.
    std::uint64_t stopCount_ = 0;
    std::string currentUtterance_;
};

} // namespace mirvo
