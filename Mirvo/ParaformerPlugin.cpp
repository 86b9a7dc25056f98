#include "Mirvo/ParaformerPlugin.hpp"

#include "Mirvo/ClonePCMBuffer.hpp"
#include "Mirvo/HostLog.hpp"
#include "Mirvo/MethodArguments.hpp"
#include "Mirvo/PluginError.hpp"
#include "Mirvo/SessionQueueJobs.hpp"
#include "Mirvo/SystemErrorReport.hpp"
#include "Mirvo/TaiwanConverter.hpp"

#include "QuorlAudio/asr/other/ParaformerManager.hpp"
#include "QuorlAudio/models/DownloadProgress.hpp"
#include "QuorlAudio/models/ModelNamesRecognition.hpp"

#include "platform/audio/AudioEngine.hpp"
#include "platform/core/Concatenated.hpp"
#include "platform/core/Error.hpp"
#include "platform/core/MainQueue.hpp"
#include "platform/core/SerialQueue.hpp"
#include "platform/core/ThreadPool.hpp"
#include "platform/text/WhiteSpace.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>

namespace mirvo {

namespace ui = platform::ui;
using platform::core::concatenated;

namespace {

constexpr std::uint32_t tapBufferFrames = 1024;
constexpr int inputBus = 0;

} // namespace

ParaformerPlugin::ParaformerPlugin(ui::BinaryMessenger& messenger) : ParaformerPlugin(messenger, Services{}) {}

ParaformerPlugin::ParaformerPlugin(ui::BinaryMessenger& messenger, Services services)
    : AudioCapturePlugin(messenger, "mirvo/paraformer", "mirvo/paraformer_events"), services_(std::move(services)),
      audioQueue_(std::make_unique<platform::core::SerialQueue>("mirvo.paraformer.audio")),
      sessionQueue_(std::make_unique<platform::core::SerialQueue>("mirvo.paraformer")) {}

ParaformerPlugin::~ParaformerPlugin() {
    // Neither the tap nor the audio queue holds a reference to the plug-in, so this never runs on their threads.
    stopMicCapture();
    audioQueue_.reset();
    releaseSessionQueue(std::move(sessionQueue_));
}

std::shared_ptr<quorl::ParaformerManager> ParaformerPlugin::loadInt8Manager(const quorl::ProgressHandler& progress) {
    return quorl::ParaformerManager::load(quorl::ParaformerPrecision::int8, progress);
}

std::unique_ptr<TaiwanConverter> ParaformerPlugin::openTaiwanConverter() { return std::make_unique<TaiwanConverter>(); }

void ParaformerPlugin::handle(const ui::MethodCall& call, const ui::MethodResult& result) {
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

void ParaformerPlugin::getSupportedLocales(const ui::MethodResult& result) const {
    ui::ValueList locales;
    for (const char* locale : supportedLocales) {
        locales.emplace_back(concatenated({locale, ":true"}));
    }
    result.success(std::move(locales));
}

void ParaformerPlugin::prepare(const ui::MethodCall& call, const ui::MethodResult& result) {
    const auto locale = MethodArguments(call.arguments).requiredString("locale", "locale is required", result);
    if (!locale) {
        return;
    }
    bool ready = false;
    {
        std::lock_guard lock(preparedMutex_);
        localeId_ = *locale;
        ready = warmManager_ != nullptr;
    }
    if (ready) {
        result.success();
        return;
    }
    // A call that comes while the models are being prepared waits for that same preparation, so two loads never
    // write the model folder at once.
    preparing_.push_back(result);
    if (preparing_.size() == 1) {
        startPreparation();
    }
}

void ParaformerPlugin::startPreparation() {
    platform::core::ThreadPool::shared().submit(
        [weakSelf = weakSelf(), &mainQueue = mainQueue(), loadManager = services_.loadManager] {
            const quorl::ProgressHandler progress = [weakSelf](const quorl::DownloadProgress& report) {
                if (const auto self = weakSelf.lock()) {
                    self->emit({{"type", "progress"}, {"fraction", report.fractionCompleted}});
                }
            };
            Manager manager;
            std::exception_ptr failure;
            try {
                manager = loadManager(progress);
            } catch (...) {
                failure = std::current_exception();
            }
            // The host ends its main queue after its plug-ins, and a download may outlast both: once the plug-in
            // is gone nothing is posted.
            if (weakSelf.expired()) {
                return;
            }
            mainQueue.async([weakSelf, manager = std::move(manager), failure] {
                if (const auto self = weakSelf.lock()) {
                    self->finishPreparation(manager, failure);
                }
            });
        });
}

void ParaformerPlugin::finishPreparation(const Manager& manager, const std::exception_ptr& failure) {
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
        warmManager_ = manager;
    }
    hostLog("Paraformer models loaded (int8, zh)");
    for (const auto& result : waiting) {
        result.success();
    }
}

void ParaformerPlugin::start(const ui::MethodResult& result) {
    requestMicrophoneAccess(
        [access = services_.microphoneAccess](AccessAnswer answer) { access->requestAccess(std::move(answer)); },
        result,
        [this](const ui::MethodResult& granted) {
            answerFromSessionQueue<ParaformerPlugin>(
                *sessionQueue_, weakSelf(), granted,
                [](ParaformerPlugin& plugin) { return plugin.startedOrReported(); }, std::nullopt);
        });
}

void ParaformerPlugin::stop(const ui::MethodResult& result) {
    answerFromSessionQueue<ParaformerPlugin>(
        *sessionQueue_, weakSelf(), result,
        [](ParaformerPlugin& plugin) { return ui::MethodReply(ui::Value(plugin.endSession(true))); }, ui::Value());
}

void ParaformerPlugin::unload(const ui::MethodResult& result) {
    answerFromSessionQueue<ParaformerPlugin>(
        *sessionQueue_, weakSelf(), result, [](ParaformerPlugin& plugin) { return plugin.unloaded(); }, ui::Value());
}

ui::MethodReply ParaformerPlugin::startedOrReported() {
    try {
        beginSession();
        return ui::Value();
    } catch (...) {
        const auto report = SystemErrorReport::of(std::current_exception());
        emitError(report.code, report.message);
        return ui::MethodError{.code = report.code, .message = report.message, .details = {}};
    }
}

ui::MethodReply ParaformerPlugin::unloaded() {
    endSession(false);
    {
        std::lock_guard lock(preparedMutex_);
        warmManager_.reset();
    }
    hostLog("Paraformer models unloaded");
    return ui::Value();
}

void ParaformerPlugin::beginSession() {
    if (!warmManager()) {
        throw PluginError::notPrepared(PluginError::paraformerDomain);
    }
    // The earlier session's buffers and text are dropped without being transcribed.
    stopMicCapture();
    audioQueue_->sync([] {});
    {
        std::lock_guard lock(pcmMutex_);
        chunker_.begin();
    }
    startMicCapture();
    hostLog(concatenated({"Paraformer session started (locale=", localeId(), ")"}));
}

void ParaformerPlugin::startMicCapture() {
    stopMicCapture();
    auto engine = std::make_unique<platform::audio::AudioEngine>(services_.inputDevice());
    auto& input = engine->inputNode();
    // The copy goes to the one audio queue, so buffers are gathered in capture order, and each one is queued
    // before the tap returns: once the tap is removed, draining the queue gathers everything captured.
    input.installTap(inputBus, tapBufferFrames, input.outputFormat(inputBus),
                     [this](const platform::audio::PCMBuffer& buffer) {
                         emitLevel(buffer);
                         if (auto copy = clonePCMBuffer(buffer)) {
                             audioQueue_->async([this, copy = std::move(copy)] { gather(*copy); });
                         }
                     });
    engine->start();
    audioEngine_ = std::move(engine);
}

void ParaformerPlugin::stopMicCapture() {
    if (!audioEngine_) {
        return;
    }
    audioEngine_->inputNode().removeTap(inputBus);
    audioEngine_->stop();
    audioEngine_.reset();
}

void ParaformerPlugin::gather(const platform::audio::PCMBuffer& buffer) {
    std::vector<float> samples;
    try {
        samples = audioConverter_.resampleBuffer(buffer);
    } catch (...) {
        // A buffer that cannot be converted is dropped; capture goes on.
        return;
    }
    std::lock_guard lock(pcmMutex_);
    if (auto chunk = chunker_.append(samples)) {
        handOver(std::move(*chunk));
    }
}

void ParaformerPlugin::handOver(ParaformerChunker::Chunk chunk) {
    platform::core::ThreadPool::shared().submit(
        [weakSelf = weakSelf(), manager = warmManager(), chunk = std::move(chunk)] {
            const bool transcribes = manager && !chunk.samples.empty();
            std::optional<std::string> recognised;
            if (transcribes) {
                try {
                    recognised = manager->transcribe(chunk.samples);
                } catch (...) {
                    hostLog(concatenated(
                        {"Paraformer chunk flush failed: ", platform::core::describe(std::current_exception())}));
                }
            }
            const auto self = weakSelf.lock();
            if (!self) {
                return;
            }
            std::optional<std::string> text;
            if (recognised) {
                text = self->sessionText(*recognised);
            }
            self->finishChunk(chunk.generation, text, transcribes);
        });
}

void ParaformerPlugin::finishChunk(std::uint64_t generation, const std::optional<std::string>& text, bool announce) {
    {
        std::lock_guard lock(pcmMutex_);
        if (generation != chunker_.generation()) {
            // A newer session has begun; its text and its chunk are not this one's.
            return;
        }
        auto next = chunker_.finishChunk(generation, text);
        const std::string committed = chunker_.committedText();
        if (next) {
            handOver(std::move(*next));
        }
        // Posted before a waiting stop can see the chunk finished, so the partial always precedes its reply.
        if (announce && !committed.empty()) {
            emit({{"type", "partial"}, {"text", committed}});
        }
    }
    chunkFinished_.notify_all();
}

std::string ParaformerPlugin::endSession(bool emitFinal) {
    stopMicCapture();
    audioQueue_->sync([] {});
    ParaformerChunker::Ending ending;
    {
        std::unique_lock lock(pcmMutex_);
        chunkFinished_.wait_for(lock, services_.flushWaitLimit, [this] { return !chunker_.isFlushing(); });
        ending = chunker_.end();
    }
    const auto manager = warmManager();
    if (!ending.wasListening || !manager || ending.remainder.empty()) {
        return ending.committedText;
    }
    return ParaformerChunker::joinUtterance(ending.committedText,
                                            transcribeRemainder(manager, ending.remainder, emitFinal));
}

std::string ParaformerPlugin::transcribeRemainder(const Manager& manager, const std::vector<float>& remainder,
                                                  bool emitFinal) {
    // The recogniser takes at most one chunk per call, so a remainder that grew past it goes in pieces.
    std::string text;
    for (const auto piece : ParaformerChunker::pieces(remainder)) {
        try {
            text = ParaformerChunker::joinUtterance(text, sessionText(manager->transcribe(piece)));
        } catch (...) {
            if (emitFinal) {
                emitError("stop-failed", platform::core::describe(std::current_exception()));
            }
            break;
        }
    }
    return text;
}

std::string ParaformerPlugin::sessionText(const std::string& recognised) {
    auto text = platform::text::trimmingWhiteSpaceAndLineBreaks(recognised);
    if (text.empty()) {
        return text;
    }
    const auto* converter = taiwanConverter();
    return converter ? converter->convert(text) : text;
}

const TaiwanConverter* ParaformerPlugin::taiwanConverter() {
    std::call_once(converterCreation_, [this] {
        try {
            taiwanConverter_ = services_.taiwanConverter();
        } catch (...) {
            hostLog(concatenated({"OpenCC s2twp converter unavailable (",
                                  platform::core::describe(std::current_exception()),
                                  "); Mandarin text stays Simplified"}));
        }
    });
    return taiwanConverter_.get();
}

ParaformerPlugin::Manager ParaformerPlugin::warmManager() const {
    std::lock_guard lock(preparedMutex_);
    return warmManager_;
}

std::string ParaformerPlugin::localeId() const {
    std::lock_guard lock(preparedMutex_);
    return localeId_;
}

std::weak_ptr<ParaformerPlugin> ParaformerPlugin::weakSelf() {
    return std::static_pointer_cast<ParaformerPlugin>(weak_from_this().lock());
}

} // namespace mirvo
