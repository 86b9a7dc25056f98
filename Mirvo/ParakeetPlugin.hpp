#pragma once

#include "Mirvo/AudioCapturePlugin.hpp"

#include "QuorlAudio/asr/batch/AsrModels.hpp"
#include "QuorlAudio/models/DownloadProgress.hpp"

#include "platform/audio/InputDevice.hpp"
#include "platform/audio/MicrophoneAccess.hpp"
#include "platform/ui/BinaryMessenger.hpp"
#include "platform/ui/MethodCall.hpp"
#include "platform/ui/MethodResult.hpp"

#include <array>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace platform::audio {
class AudioEngine;
}

namespace platform::core {
class CancellationSource;
class SerialQueue;
} // namespace platform::core

namespace quorl {
class SlidingWindowAsrManager;
}

namespace mirvo {

class UpdateRelay;

// Live dictation with the toolkit's multilingual transducer models: "prepare" downloads and loads the models
// once, "start" captures the microphone into a new sliding-window recogniser whose updates come back as
// "partial" events, and "stop" replies with the final text.
//
// Handlers run on the main queue. Model preparation runs on the shared pool, and "unload" cancels it; session
// work (start, stop, unload) runs one call at a time, in the order of the calls, on the plug-in's own session queue. The capture
// tap and the update relay reach the plug-in through `this`; the destructor ends both before any member goes.
class ParakeetPlugin : public AudioCapturePlugin {
public:
    // Downloads what is missing of the prepared model set and loads it, reporting progress.
    using ModelPreparer = std::function<quorl::AsrModels(const quorl::ProgressHandler& progress)>;
    // The device a new capture engine listens to.
    using InputDeviceFactory = std::function<std::shared_ptr<platform::audio::InputDevice>()>;
    // A new recogniser, without models, for each session.
    using RecogniserFactory = std::function<std::shared_ptr<quorl::SlidingWindowAsrManager>()>;

    // What the plug-in takes from its surroundings; tests give their own.
    struct Services {
        // The v3 models with the int8 encoder, in the default model folder.
        ModelPreparer prepareModels = downloadAndLoadModels;
        platform::audio::MicrophoneAccess* microphoneAccess = &platform::audio::MicrophoneAccess::shared();
        InputDeviceFactory inputDevice = platform::audio::defaultInputDevice;
        // With the streaming preset.
        RecogniserFactory recogniser = streamingRecogniser;
    };

    static constexpr std::array<const char*, 25> supportedLocales{
        "bg-BG", "hr-HR", "cs-CZ", "da-DK", "nl-NL", "en-US", "et-EE", "fi-FI", "fr-FR",
        "de-DE", "el-GR", "hu-HU", "it-IT", "lv-LV", "lt-LT", "mt-MT", "pl-PL", "pt-PT",
        "ro-RO", "ru-RU", "sk-SK", "sl-SI", "es-ES", "sv-SE", "uk-UA"};

    explicit ParakeetPlugin(platform::ui::BinaryMessenger& messenger);
    ParakeetPlugin(platform::ui::BinaryMessenger& messenger, Services services);
    // Ends a running session's capture and update relay and drops its recogniser without finishing it.
    ~ParakeetPlugin() override;

    static quorl::AsrModels downloadAndLoadModels(const quorl::ProgressHandler& progress);
    static std::shared_ptr<quorl::SlidingWindowAsrManager> streamingRecogniser();

protected:
    void handle(const platform::ui::MethodCall& call, const platform::ui::MethodResult& result) override;

private:
    // Work of one call on the session queue; its reply is given once the job has let go of the plug-in.
    using SessionJob = std::function<platform::ui::MethodReply(ParakeetPlugin& plugin)>;

    // Main queue.
    void getSupportedLocales(const platform::ui::MethodResult& result) const;
    void prepare(const platform::ui::MethodCall& call, const platform::ui::MethodResult& result);
    void startPreparation();
    void finishPreparation(const std::shared_ptr<platform::core::CancellationSource>& preparation,
                           const std::optional<quorl::AsrModels>& models, const std::exception_ptr& failure);
    // Stops the running preparation, whose download would otherwise go on for nothing, and answers the
    // prepares that wait for it.
    void cancelPreparation();
    void start(const platform::ui::MethodResult& result);
    void startSession(const platform::ui::MethodResult& result);
    void stop(const platform::ui::MethodResult& result);
    void unload(const platform::ui::MethodResult& result);

    // Runs `job` on the session queue if the plug-in is still there and answers the call with its reply;
    // `whenGone` answers when the plug-in has gone meanwhile, and nothing answers when that is absent. The
    // reply is given after the job has let go of the plug-in, so whoever waits for it may drop the plug-in at
    // once without a session thread holding it still.
    void onSessionQueue(const platform::ui::MethodResult& result, SessionJob job,
                        std::optional<platform::ui::MethodReply> whenGone);

    // Session queue.
    // A new session, or its failure told by an error event and the reply.
    platform::ui::MethodReply startedOrReported();
    // Ends the session without its text and drops the models.
    platform::ui::MethodReply unloaded();
    void beginSession();
    void startMicCapture(const std::shared_ptr<quorl::SlidingWindowAsrManager>& recogniser);
    void stopMicCapture();
    // Ends the session: no more partial events, no more capture, and the recogniser's final text, trimmed.
    // A failing finish yields the empty string, and the "stop-failed" event when `emitFinal` is set.
    std::string endSession(bool emitFinal);

    // Any thread.
    std::optional<quorl::AsrModels> warmModels() const;
    bool isPrepared() const;
    std::string localeId() const;
    static bool modelFolderHasEntries();
    std::weak_ptr<ParakeetPlugin> weakSelf();

    const Services services_;

    mutable std::mutex preparedMutex_;
    // The locale last given to prepare; only the session log line uses it.
    std::string localeId_ = "en-US";
    std::optional<quorl::AsrModels> warmModels_;

    // The calls waiting for the running preparation, and its cancellation; empty and null when none runs.
    // Main queue only.
    std::vector<platform::ui::MethodResult> preparing_;
    std::shared_ptr<platform::core::CancellationSource> preparation_;

    // Session queue only, and the destructor.
    std::unique_ptr<platform::audio::AudioEngine> audioEngine_;
    std::shared_ptr<quorl::SlidingWindowAsrManager> session_;
    std::unique_ptr<UpdateRelay> updatesTask_;
    bool isListening_ = false;

    std::unique_ptr<platform::core::SerialQueue> sessionQueue_;
};

} // namespace mirvo
