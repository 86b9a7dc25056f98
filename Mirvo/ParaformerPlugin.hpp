#pragma once

#include "Mirvo/AudioCapturePlugin.hpp"
#include "Mirvo/ParaformerChunker.hpp"
#include "Mirvo/TaiwanConverter.hpp"

#include "QuorlAudio/foundation/AudioConverter.hpp"
#include "QuorlAudio/models/DownloadProgress.hpp"

#include "platform/audio/InputDevice.hpp"
#include "platform/audio/MicrophoneAccess.hpp"
#include "platform/ui/BinaryMessenger.hpp"
#include "platform/ui/MethodCall.hpp"
#include "platform/ui/MethodResult.hpp"

#include <array>
#include <chrono>
#include <condition_variable>
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
class SerialQueue;
}

namespace quorl {
class ParaformerManager;
}

namespace mirvo {

// Mandarin dictation with the toolkit's Paraformer recogniser: "prepare" downloads and loads the models once,
// "start" captures the microphone, every 30 s of speech is transcribed while the user goes on talking and
// announced as a "partial" event, and "stop" replies with the whole utterance. The text is turned into
// Taiwan's Traditional Chinese whatever the locale, which only names the session in the log.
//
// Handlers run on the main queue. Model preparation and chunk transcriptions run on the shared pool; captured
// buffers go, in capture order, through one audio queue that converts them and gathers the chunks; session
// work (start, stop, unload) runs one call at a time, in the order of the calls, on the session queue. The
// capture tap and the audio queue reach the plug-in through `this`; the destructor ends both before any member
// goes.
class ParaformerPlugin : public AudioCapturePlugin {
public:
    // Downloads what is missing of the int8 models and loads a recogniser, reporting progress.
    using ManagerLoader =
        std::function<std::shared_ptr<quorl::ParaformerManager>(const quorl::ProgressHandler& progress)>;
    // The device a new capture engine listens to.
    using InputDeviceFactory = std::function<std::shared_ptr<platform::audio::InputDevice>()>;
    // The Simplified-to-Taiwan converter; throws when it cannot be had.
    using ConverterFactory = std::function<std::unique_ptr<TaiwanConverter>()>;

    // What the plug-in takes from its surroundings; tests give their own.
    struct Services {
        ManagerLoader loadManager = loadInt8Manager;
        platform::audio::MicrophoneAccess* microphoneAccess = &platform::audio::MicrophoneAccess::shared();
        InputDeviceFactory inputDevice = platform::audio::defaultInputDevice;
        // OpenCC's s2twp conversion.
        ConverterFactory taiwanConverter = openTaiwanConverter;
        // How long a stop waits for a chunk still being transcribed before it goes on without its text.
        std::chrono::milliseconds flushWaitLimit = std::chrono::seconds(1);
    };

    static constexpr std::array<const char*, 3> supportedLocales{"zh-CN", "zh-TW", "zh"};

    explicit ParaformerPlugin(platform::ui::BinaryMessenger& messenger);
    ParaformerPlugin(platform::ui::BinaryMessenger& messenger, Services services);
    // Ends a running session's capture and drops its audio without transcribing it.
    ~ParaformerPlugin() override;

    static std::shared_ptr<quorl::ParaformerManager> loadInt8Manager(const quorl::ProgressHandler& progress);
    static std::unique_ptr<TaiwanConverter> openTaiwanConverter();

protected:
    void handle(const platform::ui::MethodCall& call, const platform::ui::MethodResult& result) override;

private:
    using Manager = std::shared_ptr<quorl::ParaformerManager>;

    // Main queue.
    void getSupportedLocales(const platform::ui::MethodResult& result) const;
    void prepare(const platform::ui::MethodCall& call, const platform::ui::MethodResult& result);
    void startPreparation();
    void finishPreparation(const Manager& manager, const std::exception_ptr& failure);
    void start(const platform::ui::MethodResult& result);
    void stop(const platform::ui::MethodResult& result);
    void unload(const platform::ui::MethodResult& result);

    // Session queue.
    platform::ui::MethodReply startedOrReported();
    platform::ui::MethodReply unloaded();
    void beginSession();
    void startMicCapture();
    void stopMicCapture();
    // Ends the session and returns its utterance: the committed text and that of the audio not yet handed
    // over. A failing last transcription is reported by "stop-failed" when `emitFinal` is set.
    std::string endSession(bool emitFinal);
    bool waitForChunk(std::unique_lock<std::mutex>& lock);
    std::string transcribeRemainder(const Manager& manager, const std::vector<float>& remainder, bool emitFinal);

    // Audio queue.
    void gather(const platform::audio::PCMBuffer& buffer);

    // Shared pool, and under pcmMutex_ to hand over.
    void handOver(ParaformerChunker::Chunk chunk);
    void finishChunk(std::uint64_t generation, const std::optional<std::string>& text, bool announce);

    // Any thread.
    // The recogniser's text trimmed, and in Taiwan's forms when the converter is there.
    std::string sessionText(const std::string& recognised);
    const TaiwanConverter* taiwanConverter();
    Manager warmManager() const;
    std::string localeId() const;
    std::weak_ptr<ParaformerPlugin> weakSelf();

    const Services services_;
    const quorl::AudioConverter audioConverter_{16000.0, false};

    mutable std::mutex preparedMutex_;
    // The locale last given to prepare: it names the session in the log.
    std::string localeId_ = "zh-TW";
    Manager warmManager_;

    // The calls waiting for the running preparation; empty when none runs. Main queue only.
    std::vector<platform::ui::MethodResult> preparing_;

    // The session's audio and text.
    std::mutex pcmMutex_;
    std::condition_variable chunkFinished_;
    ParaformerChunker chunker_;

    std::once_flag converterCreation_;
    std::unique_ptr<TaiwanConverter> taiwanConverter_;

    // Session queue only, and the destructor.
    std::unique_ptr<platform::audio::AudioEngine> audioEngine_;

    std::unique_ptr<platform::core::SerialQueue> audioQueue_;
    std::unique_ptr<platform::core::SerialQueue> sessionQueue_;
};

} // namespace mirvo
