#include "Mirvo/ParakeetPlugin.hpp"

#include "Mirvo/ClonePCMBuffer.hpp"
#include "Mirvo/HostLog.hpp"
#include "Mirvo/MethodArguments.hpp"
#include "Mirvo/PluginError.hpp"
#include "Mirvo/SystemErrorReport.hpp"
#include "Mirvo/UpdateRelay.hpp"

#include "QuorlAudio/asr/batch/AsrModelVersion.hpp"
#include "QuorlAudio/asr/streaming/SlidingWindowAsrConfig.hpp"
#include "QuorlAudio/asr/streaming/SlidingWindowAsrManager.hpp"
#include "QuorlAudio/foundation/AudioSource.hpp"
#include "QuorlAudio/models/DownloadProgress.hpp"
#include "QuorlAudio/models/ModelNamesRecognition.hpp"

#include "platform/audio/AudioEngine.hpp"
#include "platform/core/CancellationToken.hpp"
#include "platform/core/Concatenated.hpp"
#include "platform/core/Error.hpp"
#include "platform/core/MainQueue.hpp"
#include "platform/core/SerialQueue.hpp"
#include "platform/core/Task.hpp"
#include "platform/core/ThreadPool.hpp"
#include "platform/text/WhiteSpace.hpp"

#include <cstdint>
#include <filesystem>
#include <system_error>
#include <utility>

namespace mirvo {

namespace ui = platform::ui;
using platform::core::concatenated;
using quorl::AsrModels;
using quorl::AsrModelVersion;
using quorl::ParakeetEncoderPrecision;
using quorl::SlidingWindowAsrManager;

namespace {

constexpr std::uint32_t tapBufferFrames = 1024;
constexpr int inputBus = 0;

constexpr const char* permissionPendingMessage = "Waiting for you to allow the microphone";
constexpr const char* preparationCancelledMessage = "Model preparation was cancelled by unload";

} // namespace

ParakeetPlugin::ParakeetPlugin(ui::BinaryMessenger& messenger) : ParakeetPlugin(messenger, Services{}) {}

ParakeetPlugin::ParakeetPlugin(ui::BinaryMessenger& messenger, Services services)
    : AudioCapturePlugin(messenger, "mirvo/parakeet", "mirvo/parakeet_events"), services_(std::move(services)),
      sessionQueue_(std::make_unique<platform::core::SerialQueue>("mirvo.parakeet")) {}

ParakeetPlugin::~ParakeetPlugin() {
    // The relay and the tap hold no reference to the plug-in, so this never runs on their threads.
    updatesTask_.reset();
    stopMicCapture();
    session_.reset();
    if (sessionQueue_->isCurrent()) {
        // A session job let go of the last reference; the queue cannot wait for its own thread, so another
        // thread lets it finish.
        platform::core::ThreadPool::shared().submit(
            [queue = std::shared_ptr<platform::core::SerialQueue>(std::move(sessionQueue_))] {});
    }
}

AsrModels ParakeetPlugin::downloadAndLoadModels(const quorl::ProgressHandler& progress) {
    const auto folder = AsrModels::download(
        {.version = AsrModelVersion::v3, .encoderPrecision = ParakeetEncoderPrecision::int8}, progress);
    return AsrModels::load(folder, {.version = AsrModelVersion::v3, .encoderPrecision = ParakeetEncoderPrecision::int8},
                           progress);
}

std::shared_ptr<SlidingWindowAsrManager> ParakeetPlugin::streamingRecogniser() {
    return std::make_shared<SlidingWindowAsrManager>(quorl::SlidingWindowAsrConfig::streaming());
}

void ParakeetPlugin::handle(const ui::MethodCall& call, const ui::MethodResult& result) {
    if (call.method == "getSupportedLocales") {
        getSupportedLocales(result);
    } else if (call.method == "prepare") {
        prepare(call, result);
    } else if (call.method == "start") {
        start(result);
    } else if (call.method == "stop") {
        stop(result);
    } else if (call.method == "unload") {
        unload(result);
    } else {
        AudioCapturePlugin::handle(call, result);
    }
}

void ParakeetPlugin::getSupportedLocales(const ui::MethodResult& result) const {
    ui::ValueList locales;
    if (isPrepared() || modelFolderHasEntries()) {
        for (const char* locale : supportedLocales) {
            locales.emplace_back(concatenated({locale, ":true"}));
        }
    }
    result.success(std::move(locales));
}

void ParakeetPlugin::prepare(const ui::MethodCall& call, const ui::MethodResult& result) {
    const auto locale = MethodArguments(call.arguments).requiredString("locale", "locale is required", result);
    if (!locale) {
        return;
    }
    bool ready = false;
    {
        std::lock_guard lock(preparedMutex_);
        localeId_ = *locale;
        ready = warmModels_.has_value();
    }
    if (ready) {
        result.success();
        return;
    }
    // A call that comes while the models are being prepared waits for that same preparation.
    preparing_.push_back(result);
    if (preparing_.size() == 1) {
        startPreparation();
    }
}

void ParakeetPlugin::startPreparation() {
    preparation_ = std::make_shared<platform::core::CancellationSource>();
    platform::core::ThreadPool::shared().submit([weakSelf = weakSelf(), &mainQueue = mainQueue(),
                                                 prepareModels = services_.prepareModels, preparation = preparation_] {
        // Downloads and back-offs read the running task's token, so cancelling it stops them.
        const platform::core::Task::Scope cancellable(preparation->token());
        const quorl::ProgressHandler progress = [weakSelf](const quorl::DownloadProgress& report) {
            if (const auto self = weakSelf.lock()) {
                self->emit({{"type", "progress"}, {"fraction", report.fractionCompleted}});
            }
        };
        std::optional<AsrModels> models;
        std::exception_ptr failure;
        try {
            models = prepareModels(progress);
        } catch (...) {
            failure = std::current_exception();
        }
        // The host ends its main queue after its plug-ins, and a download may outlast both: once the plug-in
        // is gone nothing is posted.
        if (weakSelf.expired()) {
            return;
        }
        // Holds no reference while posting, so whoever waits for the replies may drop the plug-in at once.
        mainQueue.async([weakSelf, preparation, models = std::move(models), failure] {
            if (const auto self = weakSelf.lock()) {
                self->finishPreparation(preparation, models, failure);
            }
        });
    });
}

void ParakeetPlugin::finishPreparation(const std::shared_ptr<platform::core::CancellationSource>& preparation,
                                       const std::optional<AsrModels>& models, const std::exception_ptr& failure) {
    if (preparation != preparation_) {
        // Cancelled by an unload, which has answered its calls already.
        return;
    }
    preparation_.reset();
    const auto waiting = std::exchange(preparing_, {});
    if (failure) {
        const auto message = platform::core::describe(failure);
        emitError("prepare-failed", message);
        for (const auto& result : waiting) {
            result.error("prepare-failed", message);
        }
        return;
    }
    {
        std::lock_guard lock(preparedMutex_);
        warmModels_ = models;
    }
    hostLog("Parakeet models loaded (v3)");
    for (const auto& result : waiting) {
        result.success();
    }
}

void ParakeetPlugin::start(const ui::MethodResult& result) {
    using platform::audio::AuthorizationStatus;
    switch (services_.microphoneAccess->authorizationStatus()) {
    case AuthorizationStatus::restricted:
    case AuthorizationStatus::denied:
        emitError("permission-denied", microphoneDenied);
        result.success();
        return;
    case AuthorizationStatus::notDetermined:
        emitError("permission-pending", permissionPendingMessage);
        requestMicrophoneAccess(
            [access = services_.microphoneAccess](AccessAnswer answer) { access->requestAccess(std::move(answer)); },
            result, [this](const ui::MethodResult& granted) { startSession(granted); });
        return;
    case AuthorizationStatus::authorized: startSession(result); return;
    }
}

void ParakeetPlugin::startSession(const ui::MethodResult& result) {
    onSessionQueue(
        result, [](ParakeetPlugin& plugin) { return plugin.startedOrReported(); }, std::nullopt);
}

void ParakeetPlugin::stop(const ui::MethodResult& result) {
    onSessionQueue(
        result, [](ParakeetPlugin& plugin) { return ui::MethodReply(ui::Value(plugin.endSession(true))); },
        ui::Value());
}

void ParakeetPlugin::cancelPreparation() {
    if (!preparation_) {
        return;
    }
    std::exchange(preparation_, nullptr)->cancel();
    for (const auto& result : std::exchange(preparing_, {})) {
        result.error("prepare-failed", preparationCancelledMessage);
    }
}

void ParakeetPlugin::unload(const ui::MethodResult& result) {
    cancelPreparation();
    onSessionQueue(
        result, [](ParakeetPlugin& plugin) { return plugin.unloaded(); }, ui::Value());
}

void ParakeetPlugin::onSessionQueue(const ui::MethodResult& result, SessionJob job,
                                    std::optional<ui::MethodReply> whenGone) {
    sessionQueue_->async([weakSelf = weakSelf(), result, job = std::move(job), whenGone = std::move(whenGone)] {
        std::optional<ui::MethodReply> reply = whenGone;
        if (auto self = weakSelf.lock()) {
            reply = job(*self);
        }
        if (reply) {
            result.reply(std::move(*reply));
        }
    });
}

ui::MethodReply ParakeetPlugin::startedOrReported() {
    try {
        beginSession();
        return ui::Value();
    } catch (...) {
        const auto report = SystemErrorReport::of(std::current_exception());
        emitError(report.code, report.message);
        return ui::MethodError{.code = report.code, .message = report.message, .details = {}};
    }
}

ui::MethodReply ParakeetPlugin::unloaded() {
    endSession(false);
    if (session_) {
        session_->cleanup();
    }
    session_.reset();
    {
        std::lock_guard lock(preparedMutex_);
        warmModels_.reset();
    }
    hostLog("Parakeet models unloaded");
    return ui::Value();
}

void ParakeetPlugin::beginSession() {
    const auto models = warmModels();
    if (!models) {
        throw PluginError::notPrepared(PluginError::parakeetDomain);
    }
    // The earlier session's text is dropped, and so is a failure to finish it.
    endSession(false);
    const auto recogniser = services_.recogniser();
    recogniser->loadModels(*models);
    recogniser->startStreaming(quorl::AudioSource::microphone);
    session_ = recogniser;
    isListening_ = true;
    updatesTask_ = std::make_unique<UpdateRelay>(recogniser, [this](const std::string& text) {
        emit({{"type", "partial"}, {"text", text}});
    });
    startMicCapture(recogniser);
    hostLog(concatenated({"Parakeet session started (locale=", localeId(), ")"}));
}

void ParakeetPlugin::startMicCapture(const std::shared_ptr<SlidingWindowAsrManager>& recogniser) {
    stopMicCapture();
    auto engine = std::make_unique<platform::audio::AudioEngine>(services_.inputDevice());
    auto& input = engine->inputNode();
    // The copy goes straight into the recogniser's ordered queue, which only takes it and returns: buffers
    // reach the recogniser in capture order, and each one is queued before the tap returns, so once the tap is
    // removed nothing captured is still on its way.
    input.installTap(inputBus, tapBufferFrames, input.outputFormat(inputBus),
                     [this, recogniser](const platform::audio::PCMBuffer& buffer) {
                         emitLevel(buffer);
                         if (auto copy = clonePCMBuffer(buffer)) {
                             recogniser->streamAudio(std::move(copy));
                         }
                     });
    engine->start();
    audioEngine_ = std::move(engine);
}

void ParakeetPlugin::stopMicCapture() {
    if (!audioEngine_) {
        return;
    }
    // Once the tap is removed no buffer is being handed over, and none will be.
    audioEngine_->inputNode().removeTap(inputBus);
    audioEngine_->stop();
    audioEngine_.reset();
}

std::string ParakeetPlugin::endSession(bool emitFinal) {
    updatesTask_.reset();
    stopMicCapture();
    if (!isListening_ || !session_) {
        isListening_ = false;
        return "";
    }
    isListening_ = false;
    std::string text;
    try {
        text = platform::text::trimmingWhiteSpaceAndLineBreaks(session_->finish());
    } catch (...) {
        if (emitFinal) {
            emitError("stop-failed", platform::core::describe(std::current_exception()));
        }
    }
    session_.reset();
    return text;
}

std::optional<AsrModels> ParakeetPlugin::warmModels() const {
    std::lock_guard lock(preparedMutex_);
    return warmModels_;
}

bool ParakeetPlugin::isPrepared() const {
    std::lock_guard lock(preparedMutex_);
    return warmModels_.has_value();
}

std::string ParakeetPlugin::localeId() const {
    std::lock_guard lock(preparedMutex_);
    return localeId_;
}

bool ParakeetPlugin::modelFolderHasEntries() {
    std::filesystem::path folder;
    try {
        folder = AsrModels::defaultCacheDirectory(AsrModelVersion::v3);
    } catch (const platform::core::Error&) {
        // No Application Support folder: no models either.
        return false;
    }
    std::error_code unreadable;
    const std::filesystem::directory_iterator entries(folder, unreadable);
    return !unreadable && entries != std::filesystem::directory_iterator();
}

std::weak_ptr<ParakeetPlugin> ParakeetPlugin::weakSelf() {
    return std::static_pointer_cast<ParakeetPlugin>(weak_from_this().lock());
}

} // namespace mirvo
