#include "QuorlAudio/asr/streaming/SlidingWindowAsrManager.hpp"

#include "QuorlAudio/asr/batch/AsrManager.hpp"
#include "QuorlAudio/asr/batch/AsrWindowInference.hpp"

#include "QuorlAudio/foundation/ASRConstants.hpp"
#include "QuorlAudio/foundation/DecimalText.hpp"

#include "platform/core/CancellationToken.hpp"
#include "platform/core/Concatenated.hpp"
#include "platform/core/Task.hpp"
#include "platform/text/WhiteSpace.hpp"

#include <algorithm>
#include <chrono>
#include <utility>

namespace quorl {

namespace {

using platform::core::concatenated;

// Tokens of a window that may repeat the end of the tokens before it.
constexpr int maxDuplicateOverlap = 12;

// The first `count` elements, or all of them when there are fewer.
template <class Element> void dropLeading(std::vector<Element>& elements, int count) {
    const std::ptrdiff_t dropped = std::clamp<std::ptrdiff_t>(count, 0, std::ssize(elements));
    elements.erase(elements.begin(), elements.begin() + dropped);
}

} // namespace

void SlidingWindowAsrManager::processWindow(std::vector<float> windowSamples, std::int64_t windowStartSample,
                                            bool isLastChunk) {
    const auto started = std::chrono::steady_clock::now();
    auto decoded = decodeWindow(windowSamples, windowStartSample, isLastChunk);
    const double processingTime = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::shared_ptr<AsrManager> manager;
    {
        std::lock_guard lock(mutex_);
        manager = asrManager_;
    }
    if (!decoded || manager == nullptr) {
        return;
    }

    ASRResult result =
        windowResult(manager->windowInference().tokenText(), manager->config().sampleRate, *decoded, processingTime);
    std::int64_t processed = 0;
    {
        std::lock_guard lock(mutex_);
        accumulatedTokens_.insert(accumulatedTokens_.end(), decoded->tokens.begin(), decoded->tokens.end());
        processed = ++processedChunks_;
    }
    logger_.debug(concatenated({"Chunk ", std::to_string(processed), ": '", result.text,
                                "', time: ", fixedDecimalText(processingTime, 3), "s)"}));

    const bool shouldConfirm = static_cast<double>(result.confidence) >= config_.confirmationThreshold &&
                               receivedSeconds() >= config_.minContextForConfirmation;
    if (shouldConfirm) {
        result = withVocabularyBoosting(std::move(result), windowSamples, windowStartSample);
    }
    updateTranscriptionState(result, shouldConfirm);
    publish(SlidingWindowTranscriptionUpdate{
        .text = result.text,
        .isConfirmed = shouldConfirm,
        .confidence = result.confidence,
        .timestamp = std::chrono::system_clock::now(),
        .tokenIds = std::move(decoded->tokens),
        .tokenTimings = *result.tokenTimings,
    });
}

std::optional<SlidingWindowAsrManager::DecodedWindow>
SlidingWindowAsrManager::decodeWindow(std::vector<float> windowSamples, std::int64_t windowStartSample,
                                      bool isLastChunk) {
    std::optional<TdtDecoderState> decoderState;
    std::shared_ptr<AsrManager> manager;
    std::vector<int> previousTokens;
    {
        std::lock_guard lock(mutex_);
        decoderState = decoderState_;
        manager = asrManager_;
        previousTokens = accumulatedTokens_;
    }
    if (!decoderState) {
        logger_.error("Decoder state not initialized");
        return std::nullopt;
    }
    if (manager == nullptr) {
        return std::nullopt;
    }

    const std::size_t sampleCount = windowSamples.size();
    // Frame alignment only while nothing has been kept: later windows go to the models as they are.
    AsrWindowInference& inference = manager->windowInference();
    auto aligned = AsrWindowInference::frameAlignedAudio(std::move(windowSamples), previousTokens.empty());
    if (aligned.samples.size() < static_cast<std::size_t>(ASRConstants::maxModelSamples)) {
        aligned.samples.resize(ASRConstants::maxModelSamples, 0.0f);
    }
    std::optional<AsrWindowInference::InferenceResult> result;
    try {
        result = inference.executeMLInferenceWithTimings({
            .samples = aligned.samples,
            .originalLength = aligned.frameAlignedLength,
            .context = {.decoderState = *decoderState,
                        .contextFrameAdjustment = 0,
                        .isLastChunk = isLastChunk,
                        .globalFrameOffset = 0},
        });
    } catch (...) {
        recordWindowFailure(std::current_exception());
        return std::nullopt;
    }

    TdtHypothesis& hypothesis = result->hypothesis;
    DecodedWindow decoded{
        .tokens = std::move(hypothesis.ySequence),
        .frames = std::move(hypothesis.timestamps),
        .confidences = std::move(hypothesis.tokenConfidences),
        .sampleCount = sampleCount,
    };
    if (!previousTokens.empty() && !decoded.tokens.empty()) {
        auto deduplicated =
            inference.tokenText().removeDuplicateTokenSequence(previousTokens, decoded.tokens, maxDuplicateOverlap);
        decoded.tokens = std::move(deduplicated.deduped);
        dropLeading(decoded.frames, deduplicated.removedCount);
        dropLeading(decoded.confidences, deduplicated.removedCount);
    }
    {
        std::lock_guard lock(mutex_);
        decoderState_ = std::move(decoderState);
    }
    decoded.frames = applyGlobalFrameOffset(std::move(decoded.frames), windowStartSample);
    return decoded;
}

ASRResult SlidingWindowAsrManager::windowResult(const AsrTokenText& tokenText, int sampleRate,
                                                const DecodedWindow& decoded, double processingTime) {
    std::string text = tokenText.convertTokensToText(decoded.tokens);
    const bool isEmpty = platform::text::isAllWhiteSpaceAndLineBreaks(text);
    return ASRResult{
        .text = std::move(text),
        .confidence =
            tokenText.calculateConfidence(static_cast<int>(decoded.tokens.size()), isEmpty, decoded.confidences),
        .duration = static_cast<double>(decoded.sampleCount) / sampleRate,
        .processingTime = processingTime,
        .tokenTimings = tokenText.createTokenTimings(decoded.tokens, decoded.frames, decoded.confidences, {}),
        .performanceMetrics = std::nullopt,
        .ctcDetectedTerms = std::nullopt,
        .ctcAppliedTerms = std::nullopt,
    };
}

void SlidingWindowAsrManager::recordWindowFailure(const std::exception_ptr& error) {
    if (isCancellation(error)) {
        return;
    }
    const auto wrapped = SlidingWindowAsrError::modelProcessingFailed(error);
    std::int64_t failures = 0;
    {
        std::lock_guard lock(mutex_);
        failures = ++failedWindowCount_;
        lastWindowError_ = wrapped;
    }
    logger_.error(
        concatenated({"Model processing error (window failure #", std::to_string(failures), "): ", wrapped.what()}));
    attemptErrorRecovery(wrapped);
}

void SlidingWindowAsrManager::publish(SlidingWindowTranscriptionUpdate update) {
    std::lock_guard lock(mutex_);
    // A stream whose consumer has stopped takes nothing more; forget it until the next one is asked for.
    if (updateContinuation_ && !updateContinuation_->yield(std::move(update))) {
        updateContinuation_.reset();
    }
}

std::vector<int> SlidingWindowAsrManager::applyGlobalFrameOffset(std::vector<int> frames,
                                                                 std::int64_t windowStartSample) {
    const auto offset = static_cast<int>(windowStartSample / ASRConstants::samplesPerEncoderFrame);
    if (offset != 0) {
        for (int& frame : frames) {
            frame += offset;
        }
    }
    return frames;
}

bool SlidingWindowAsrManager::isCancellation(const std::exception_ptr& error) {
    if (platform::core::Task::isCancelled()) {
        return true;
    }
    try {
        std::rethrow_exception(error);
    } catch (const platform::core::CancellationError&) {
        return true;
    } catch (...) {
        return false;
    }
}

} // namespace quorl
