#include "QuorlAudio/asr/streaming/SlidingWindowAsrManager.hpp"

#include "QuorlAudio/asr/batch/ASRError.hpp"
#include "QuorlAudio/asr/batch/AsrManager.hpp"
#include "QuorlAudio/asr/batch/AsrModelVersion.hpp"
#include "QuorlAudio/asr/batch/AsrModels.hpp"
#include "QuorlAudio/asr/batch/AsrWindowInference.hpp"
#include "QuorlAudio/foundation/DecimalText.hpp"

#include "platform/core/Concatenated.hpp"
#include "platform/text/GraphemeClusters.hpp"

#include <utility>

namespace quorl {

namespace {

using platform::core::concatenated;

} // namespace

SlidingWindowAsrManager::SlidingWindowAsrManager(SlidingWindowAsrConfig config)
    : logger_("SlidingWindowASR"), config_(std::move(config)), chunkSamples_(config_.chunkSamples()),
      leftContextSamples_(config_.leftContextSamples()), rightContextSamples_(config_.rightContextSamples()),
      inputBuilder_(inputSequence_.continuation()) {
    logger_.info(concatenated({"Initialized SlidingWindowAsrManager with config: chunk=",
                               decimalText(config_.chunkSeconds), "s left=", decimalText(config_.leftContextSeconds),
                               "s right=", decimalText(config_.rightContextSeconds), "s"}));
}

SlidingWindowAsrManager::~SlidingWindowAsrManager() {
    std::vector<std::shared_ptr<platform::core::DedicatedTask>> tasks;
    {
        std::lock_guard lock(mutex_);
        tasks = std::move(replacedTasks_);
        if (recognizerTask_) {
            tasks.push_back(std::move(recognizerTask_));
        }
    }
    for (const auto& task : tasks) {
        task->cancel();
    }
    inputBuilder_.finish();
    finishUpdates();
    // The workers are joined here, without the mutex, which they may still need to end their window.
    tasks.clear();
}

std::string SlidingWindowAsrManager::volatileTranscript() const {
    std::lock_guard lock(mutex_);
    return volatileTranscript_;
}

std::string SlidingWindowAsrManager::confirmedTranscript() const {
    std::lock_guard lock(mutex_);
    return confirmedTranscript_;
}

AudioSource SlidingWindowAsrManager::source() const {
    std::lock_guard lock(mutex_);
    return audioSource_;
}

void SlidingWindowAsrManager::loadModels(const std::optional<std::filesystem::path>& to,
                                         const ProgressHandler& progressHandler) {
    logger_.info("Loading ASR models...");
    loadModels(AsrModels::downloadAndLoad(
        to, {.version = AsrModelVersion::v3, .encoderPrecision = ParakeetEncoderPrecision::int8}, progressHandler));
}

void SlidingWindowAsrManager::loadModels(const AsrModels& models) {
    logger_.info("Loading SlidingWindowAsrManager with provided models");
    auto manager = AsrManager::create(config_.asrConfig());
    {
        std::lock_guard lock(mutex_);
        asrManager_ = manager;
    }
    manager->loadModels(models);
    logger_.info("SlidingWindowAsrManager loaded successfully");
}

void SlidingWindowAsrManager::startStreaming(AudioSource source) {
    config_.validate();
    std::shared_ptr<AsrManager> manager;
    {
        std::lock_guard lock(mutex_);
        manager = asrManager_;
    }
    if (manager == nullptr) {
        throw ASRError::notInitialized();
    }
    logger_.info(concatenated({"Starting sliding-window ASR engine for source: ", description(source), "..."}));
    TdtDecoderState decoderState = TdtDecoderState::make(manager->windowInference().decoderLayerCount());
    {
        std::lock_guard lock(mutex_);
        audioSource_ = source;
        decoderState_ = std::move(decoderState);
        accumulatedTokens_.clear();
        failedWindowCount_ = 0;
        lastWindowError_.reset();
        if (recognizerTask_) {
            replacedTasks_.push_back(std::move(recognizerTask_));
        }
        recognizerTask_ = std::make_shared<platform::core::DedicatedTask>([this] { recognize(); });
    }
    logger_.info("Sliding-window ASR engine started successfully");
}

void SlidingWindowAsrManager::streamAudio(AudioBuffer buffer) {
    if (buffer != nullptr) {
        inputBuilder_.yield(std::move(buffer));
    }
}

SlidingWindowAsrManager::Updates SlidingWindowAsrManager::transcriptionUpdates() {
    auto [stream, continuation] = Updates::makeStream();
    std::optional<Updates::Continuation> replaced;
    {
        std::lock_guard lock(mutex_);
        replaced = std::exchange(updateContinuation_, continuation);
    }
    // Nothing reaches the earlier stream any more; ending it releases its consumer.
    if (replaced) {
        replaced->finish();
    }
    return stream;
}

std::string SlidingWindowAsrManager::finish() {
    logger_.info("Finishing sliding-window ASR...");
    inputBuilder_.finish();
    if (const std::exception_ptr taskError = waitForRecognitionTask()) {
        logger_.error(concatenated({"Recognition task failed: ", platform::core::describe(taskError)}));
        std::rethrow_exception(taskError);
    }
    std::shared_ptr<AsrManager> manager;
    std::vector<int> tokens;
    std::string transcripts;
    std::int64_t failed = 0;
    std::optional<SlidingWindowAsrError> failure;
    const bool boosted = isBoostingActive();
    {
        std::lock_guard lock(mutex_);
        manager = asrManager_;
        tokens = accumulatedTokens_;
        transcripts = windowTranscripts_;
        failed = failedWindowCount_;
        if (processedChunks_ == 0) {
            failure = lastWindowError_;
        }
    }
    if (failure) {
        logger_.error(concatenated({"All ", std::to_string(failed),
                                    " window(s) failed to process; throwing last error instead of returning an empty "
                                    "transcript"}));
        throw *failure;
    }
    if (failed > 0) {
        logger_.warning(concatenated(
            {std::to_string(failed), " window(s) failed during streaming; transcript may be missing segments"}));
    }
    // Rescored words live only in the transcripts: decoding the tokens again would undo them.
    std::string text = !tokens.empty() && manager && !boosted
                           ? manager->windowInference().tokenText().convertTokensToText(tokens)
                           : std::move(transcripts);
    logger_.info(concatenated(
        {"Final transcription: ", std::to_string(platform::text::graphemeClusters(text).size()), " characters"}));
    return text;
}

std::exception_ptr SlidingWindowAsrManager::waitForRecognitionTask() {
    std::shared_ptr<platform::core::DedicatedTask> task;
    {
        std::lock_guard lock(mutex_);
        task = recognizerTask_;
    }
    std::exception_ptr error;
    if (task) {
        try {
            task->wait();
        } catch (...) {
            error = std::current_exception();
        }
    }
    // With the input ended and the worker done, no window can follow: the update stream ends too.
    finishUpdates();
    return error;
}

void SlidingWindowAsrManager::finishUpdates() {
    std::optional<Updates::Continuation> updates;
    {
        std::lock_guard lock(mutex_);
        updates = std::exchange(updateContinuation_, std::nullopt);
    }
    if (updates) {
        updates->finish();
    }
}

void SlidingWindowAsrManager::reset() {
    std::shared_ptr<AsrManager> manager;
    {
        std::lock_guard lock(mutex_);
        manager = asrManager_;
    }
    std::optional<TdtDecoderState> decoderState;
    if (manager) {
        decoderState = TdtDecoderState::make(manager->windowInference().decoderLayerCount());
    }
    AudioSource source = AudioSource::microphone;
    {
        std::lock_guard lock(mutex_);
        volatileTranscript_.clear();
        confirmedTranscript_.clear();
        windowTranscripts_.clear();
        processedChunks_ = 0;
        failedWindowCount_ = 0;
        lastWindowError_.reset();
        sampleBuffer_.clear();
        bufferStartIndex_ = 0;
        nextWindowCenterStart_ = 0;
        ++timeline_;
        if (decoderState) {
            decoderState_ = std::move(decoderState);
        }
        accumulatedTokens_.clear();
        source = audioSource_;
    }
    logger_.info(concatenated({"SlidingWindowAsrManager reset for source: ", description(source)}));
}

void SlidingWindowAsrManager::cancel() {
    std::shared_ptr<platform::core::DedicatedTask> task;
    {
        std::lock_guard lock(mutex_);
        task = recognizerTask_;
    }
    // Cancelled before its input ends, so the worker never mistakes the end for a finish and flushes.
    if (task) {
        task->cancel();
    }
    inputBuilder_.finish();
    finishUpdates();
    logger_.info("SlidingWindowAsrManager cancelled");
}

void SlidingWindowAsrManager::cleanup() {
    cancel();
    std::shared_ptr<AsrManager> manager;
    {
        std::lock_guard lock(mutex_);
        manager = std::exchange(asrManager_, nullptr);
    }
    if (manager) {
        manager->cleanup();
    }
    logger_.info("SlidingWindowAsrManager resources cleaned up");
}

} // namespace quorl
