#include "Mirvo/DictationPlugin.hpp"

#include "Mirvo/AudioOnlyConversion.hpp"
#include "Mirvo/HostLog.hpp"
#include "Mirvo/MethodArguments.hpp"
#include "Mirvo/PluginError.hpp"
#include "Mirvo/SystemErrorReport.hpp"

#include "QuorlAudio/foundation/DecimalText.hpp"

#include "platform/audio/AudioEngine.hpp"
#include "platform/audio/AudioFormat.hpp"
#include "platform/audio/CommonFormat.hpp"
#include "platform/core/Concatenated.hpp"
#include "platform/core/MainQueue.hpp"
#include "platform/speech/PocketsphinxService.hpp"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <utility>

namespace mirvo {

namespace ui = platform::ui;
namespace speech = platform::speech;
using platform::audio::PCMBuffer;
using platform::core::concatenated;

namespace {

constexpr std::uint32_t tapBufferFrames = 1024;
constexpr int inputBus = 0;

constexpr const char* bothDeniedMessage = "Microphone or speech recognition denied";

PluginError formatNotBuilt() {
    return PluginError(PluginError::dictationDomain, 2, "Failed to build 16 kHz mono format");
}

} // namespace

DictationPlugin::DictationPlugin(ui::BinaryMessenger& messenger) : DictationPlugin(messenger, Services{}) {}

DictationPlugin::DictationPlugin(ui::BinaryMessenger& messenger, Services services)
    : AudioCapturePlugin(messenger, "mirvo/dictation", "mirvo/dictation_events"), services_(std::move(services)),
      speech_(services_.speechRecognition(mainQueue())) {}

DictationPlugin::~DictationPlugin() { endRecognition(true); }

std::shared_ptr<speech::SpeechRecognitionService>
DictationPlugin::pocketsphinxRecognition(platform::core::MainQueue& mainQueue) {
    return std::make_shared<speech::PocketsphinxService>(mainQueue);
}

void DictationPlugin::handle(const ui::MethodCall& call, const ui::MethodResult& result) {
    if (call.method == "getSupportedLocales") {
        getSupportedLocales(result);
    } else if (call.method == "prepare") {
        prepare(call, result);
    } else if (call.method == "start") {
        start(result);
    } else if (call.method == "startAudioOnly") {
        startAudioOnly(result);
    } else if (call.method == "stop") {
        stop(result);
    } else {
        AudioCapturePlugin::handle(call, result);
    }
}

void DictationPlugin::getSupportedLocales(const ui::MethodResult& result) const {
    std::vector<std::string> entries;
    for (const auto& locale : speech_->supportedLocales()) {
        const auto recognizer = speech_->makeRecognizer(locale);
        const bool onDevice = recognizer && recognizer->supportsOnDeviceRecognition();
        entries.push_back(concatenated({locale, onDevice ? ":true" : ":false"}));
    }
    std::ranges::sort(entries);
    result.success(ui::ValueList(entries.begin(), entries.end()));
}

void DictationPlugin::prepare(const ui::MethodCall& call, const ui::MethodResult& result) {
    const MethodArguments arguments(call.arguments);
    const auto locale = arguments.requiredString("locale", "locale is required", result);
    if (!locale) {
        return;
    }
    contextualPhrases_ = arguments.stringList("contextualPhrases");
    recognizer_ = speech_->makeRecognizer(*locale);
    if (!recognizer_) {
        result.error("unsupported-locale", concatenated({"No SFSpeechRecognizer for ", *locale}));
        return;
    }
    result.success();
}

void DictationPlugin::start(const ui::MethodResult& result) {
    // Both questions are asked every time, in this order, whatever the first answer.
    requestMicrophoneAccess(
        [speech = speech_, microphone = services_.microphoneAccess](AccessAnswer answer) {
            speech->requestAuthorization([microphone, answer](speech::SpeechAuthorizationStatus status) {
                microphone->requestAccess([status, answer](bool granted) {
                    answer(granted && status == speech::SpeechAuthorizationStatus::authorized);
                });
            });
        },
        result,
        [this](const ui::MethodResult& granted) { answerOrReport(granted, &DictationPlugin::beginRecognition); },
        bothDeniedMessage);
}

void DictationPlugin::startAudioOnly(const ui::MethodResult& result) {
    requestMicrophoneAccess(
        [microphone = services_.microphoneAccess](AccessAnswer answer) {
            microphone->requestAccess(std::move(answer));
        },
        result,
        [this](const ui::MethodResult& granted) { answerOrReport(granted, &DictationPlugin::beginAudioOnlyCapture); });
}

void DictationPlugin::answerOrReport(const ui::MethodResult& result, void (DictationPlugin::*begin)()) {
    try {
        (this->*begin)();
    } catch (...) {
        reportFailure(result, std::current_exception());
        return;
    }
    result.success();
}

void DictationPlugin::beginRecognition() {
    endRecognition(true);
    if (!recognizer_) {
        throw PluginError::notPrepared(PluginError::dictationDomain);
    }
    auto engine = std::make_unique<platform::audio::AudioEngine>(services_.inputDevice());
    auto request = makeRequest();
    auto& input = engine->inputNode();
    input.installTap(inputBus, tapBufferFrames, input.outputFormat(inputBus), [this](const PCMBuffer& buffer) {
        appendToRequest(buffer);
        emitLevel(buffer);
    });
    // The request takes the tap's buffers before the device starts: a device may deliver its first buffers
    // before start() returns, and those would otherwise be dropped. A failed start drops the new engine and
    // request, leaving no request behind.
    setRequest(request);
    try {
        engine->start();
    } catch (...) {
        setRequest(nullptr);
        throw;
    }
    task_ = startTask(request);
    audioEngine_ = std::move(engine);
}

void DictationPlugin::recognitionHandler(const std::optional<speech::SpeechRecognitionResult>& result,
                                         const std::exception_ptr& error) {
    if (error) {
        if (pendingStop_) {
            answerPendingStop(currentUtterance_);
            return;
        }
        const auto report = SystemErrorReport::of(error);
        emitError(report.code, report.message);
        endRecognition(true);
        return;
    }
    if (!result) {
        return;
    }
    currentUtterance_ = result->formattedString;
    if (!result->isFinal) {
        emit({{"type", "partial"}, {"text", currentUtterance_}});
    } else if (pendingStop_) {
        answerPendingStop(currentUtterance_);
    } else {
        emit({{"type", "final"}, {"text", currentUtterance_}});
        currentUtterance_.clear();
        restartRecognition();
    }
}

void DictationPlugin::restartRecognition() {
    if (!recognizer_ || !audioEngine_) {
        return;
    }
    auto request = makeRequest();
    setRequest(request);
    task_ = startTask(request);
}

void DictationPlugin::endRecognition(bool cancelTask) {
    std::shared_ptr<speech::SpeechAudioBufferRecognitionRequest> request;
    {
        const std::lock_guard lock(requestMutex_);
        request = request_;
    }
    if (request) {
        request->endAudio();
    }
    if (cancelTask) {
        if (task_) {
            task_->cancel();
        }
        task_.reset();
        setRequest(nullptr);
    }
    stopEngine();
    conversion_.reset();
}

std::shared_ptr<speech::SpeechAudioBufferRecognitionRequest> DictationPlugin::makeRequest() const {
    return std::make_shared<speech::SpeechAudioBufferRecognitionRequest>(
        speech::SpeechRecognitionRequestOptions{.shouldReportPartialResults = true,
                                                .requiresOnDeviceRecognition = true,
                                                .contextualStrings = contextualPhrases_});
}

std::shared_ptr<speech::SpeechRecognitionTask>
DictationPlugin::startTask(const std::shared_ptr<speech::SpeechAudioBufferRecognitionRequest>& request) {
    // Weakly held: a task that outlives the plug-in delivers to nobody.
    return recognizer_->recognitionTask(
        request, [weakSelf = weak_from_this()](const std::optional<speech::SpeechRecognitionResult>& result,
                                               const std::exception_ptr& error) {
            if (const auto self = weakSelf.lock()) {
                static_cast<DictationPlugin&>(*self).recognitionHandler(result, error);
            }
        });
}

void DictationPlugin::setRequest(std::shared_ptr<speech::SpeechAudioBufferRecognitionRequest> request) {
    const std::lock_guard lock(requestMutex_);
    request_ = std::move(request);
}

void DictationPlugin::stopEngine() {
    if (!audioEngine_) {
        return;
    }
    // Once the tap is removed it is not running and never runs again.
    audioEngine_->inputNode().removeTap(inputBus);
    audioEngine_->stop();
    audioEngine_.reset();
}

void DictationPlugin::stop(const ui::MethodResult& result) {
    if (!task_) {
        endRecognition(false);
        result.success(std::string());
        return;
    }
    if (pendingStop_) {
        // The earlier caller gets the text so far rather than no answer at all.
        std::exchange(pendingStop_, std::nullopt)->success(currentUtterance_);
    }
    pendingStop_ = result;
    const auto stopNumber = ++stopCount_;
    {
        const std::lock_guard lock(requestMutex_);
        if (request_) {
            request_->endAudio();
        }
    }
    // The task goes on, to deliver its final result.
    stopEngine();
    mainQueue().asyncAfter(
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::duration<double>(stopWaitSeconds)),
        [weakSelf = weak_from_this(), stopNumber] {
            if (const auto self = weakSelf.lock()) {
                static_cast<DictationPlugin&>(*self).answerStopAfterWait(stopNumber);
            }
        });
}

void DictationPlugin::answerStopAfterWait(std::uint64_t stopNumber) {
    if (pendingStop_ && stopNumber == stopCount_) {
        answerPendingStop(currentUtterance_);
    }
}

void DictationPlugin::answerPendingStop(const std::string& text) {
    const auto reply = std::exchange(pendingStop_, std::nullopt);
    const auto answer = text;
    endRecognition(true);
    currentUtterance_.clear();
    reply->success(answer);
}

void DictationPlugin::beginAudioOnlyCapture() {
    endRecognition(true);
    auto engine = std::make_unique<platform::audio::AudioEngine>(services_.inputDevice());
    auto& input = engine->inputNode();
    const auto inputFormat = input.outputFormat(inputBus);
    if (!platform::audio::AudioFormat::make(platform::audio::CommonFormat::float32, AudioOnlyConversion::targetRate, 1,
                                            false)) {
        throw formatNotBuilt();
    }
    conversion_ = AudioOnlyConversion::make(inputFormat);
    firstBufferLogged_ = false;
    input.installTap(inputBus, tapBufferFrames, inputFormat, [this](const PCMBuffer& buffer) {
        logFirstBuffer(buffer);
        emitLevel(buffer);
        emitAudioBuffer(buffer);
    });
    engine->start();
    audioEngine_ = std::move(engine);
    hostLog(concatenated({"audioOnly capture started, input=", quorl::decimalText(inputFormat.sampleRate()),
                          "Hz ch=", std::to_string(inputFormat.channelCount())}));
}

void DictationPlugin::appendToRequest(const PCMBuffer& buffer) {
    const std::lock_guard lock(requestMutex_);
    if (request_) {
        request_->append(buffer);
    }
}

void DictationPlugin::logFirstBuffer(const PCMBuffer& buffer) {
    if (firstBufferLogged_.exchange(true)) {
        return;
    }
    hostLog(concatenated({"audio tap ALIVE frames=", std::to_string(buffer.frameLength()),
                          " sink=", hasEventSink() ? "true" : "false"}));
}

void DictationPlugin::emitAudioBuffer(const PCMBuffer& buffer) {
    if (!conversion_) {
        // No conversion possible: the device's own samples, at its own rate.
        emitFloat32Buffer(buffer);
        return;
    }
    const auto capacity = AudioOnlyConversion::capacity(buffer.format().sampleRate(), buffer.frameLength());
    if (!capacity) {
        hostLog(concatenated({"audioOnly buffer dropped, input rate ", quorl::decimalText(buffer.format().sampleRate()),
                              "Hz cannot be converted"}));
        return;
    }
    if (const auto samples = conversion_->convert(buffer, *capacity); samples && !samples->empty()) {
        emitAudio(*samples);
    }
}

void DictationPlugin::emitFloat32Buffer(const PCMBuffer& buffer) {
    const float* const* channels = buffer.floatChannelData();
    if (channels == nullptr || buffer.frameLength() == 0) {
        return;
    }
    // An interleaved buffer holds its first channel every stride() samples.
    std::vector<float> samples(buffer.frameLength());
    for (std::uint32_t frame = 0; frame < buffer.frameLength(); ++frame) {
        samples[frame] = channels[0][std::size_t{frame} * buffer.stride()];
    }
    emitAudio(samples);
}

void DictationPlugin::emitAudio(const std::vector<float>& samples) {
    ui::Bytes bytes;
    bytes.data.resize(samples.size() * sizeof(float));
    std::memcpy(bytes.data.data(), samples.data(), bytes.data.size());
    emit({{"type", "audio"}, {"bytes", std::move(bytes)}});
}

} // namespace mirvo
