#include "QuorlAudio/asr/streaming/SlidingWindowAsrManager.hpp"

#include "QuorlAudio/asr/batch/AsrManager.hpp"
#include "QuorlAudio/asr/batch/AsrWindowInference.hpp"

#include "QuorlAudio/foundation/ASRConstants.hpp"
#include "QuorlAudio/foundation/DecimalText.hpp"

#include "platform/core/Concatenated.hpp"

namespace quorl {

namespace {

using platform::core::concatenated;

} // namespace

void SlidingWindowAsrManager::updateTranscriptionState(const ASRResult& result, bool shouldConfirm) {
    const double received = receivedSeconds();
    {
        std::lock_guard lock(mutex_);
        // A confirmed window promotes the text of the window before it; its own text stays volatile until the
        // next window.
        if (shouldConfirm && !volatileTranscript_.empty()) {
            confirmedTranscript_ = platform::core::joinedNonEmpty(confirmedTranscript_, volatileTranscript_);
        }
        volatileTranscript_ = result.text;
        windowTranscripts_ = platform::core::joinedNonEmpty(windowTranscripts_, result.text);
    }
    const std::string confidence = floatDecimalText(result.confidence);
    const std::string seconds = fixedDecimalText(received, 1);
    if (shouldConfirm) {
        logger_.debug(concatenated({"CONFIRMED (", confidence, ", ", seconds,
                                    "s context): promoted to confirmed; new volatile '", result.text, "'"}));
        return;
    }
    const std::string reason = received >= config_.minContextForConfirmation
                                   ? std::string("low confidence")
                                   : concatenated({"insufficient context (", seconds, "s)"});
    logger_.debug(concatenated({"VOLATILE (", confidence, "): ", reason, " - updated volatile '", result.text, "'"}));
}

void SlidingWindowAsrManager::attemptErrorRecovery(const std::exception& error) {
    logger_.warning(concatenated({"Attempting error recovery for: ", error.what()}));
    const auto* known = dynamic_cast<const SlidingWindowAsrError*>(&error);
    if (known == nullptr) {
        resetDecoderForRecovery();
        return;
    }
    using Kind = SlidingWindowAsrError::Kind;
    switch (known->kind()) {
    case Kind::streamAlreadyExists: logger_.error("Stream already exists - cannot recover automatically"); return;
    case Kind::audioBufferProcessingFailed: logger_.info("Recovering from audio buffer error"); return;
    case Kind::audioConversionFailed: logger_.info("Recovering from audio conversion error"); return;
    case Kind::modelProcessingFailed:
        logger_.info("Recovering from model processing error - resetting decoder state");
        resetDecoderForRecovery();
        return;
    case Kind::invalidConfiguration: logger_.error("Configuration error cannot be recovered automatically"); return;
    case Kind::modelsNotLoaded: logger_.error("Models not loaded - cannot recover automatically"); return;
    case Kind::bufferOverflow: logger_.info("Buffer overflow handled automatically"); return;
    }
}

void SlidingWindowAsrManager::resetDecoderForRecovery() {
    std::shared_ptr<AsrManager> manager;
    {
        std::lock_guard lock(mutex_);
        manager = asrManager_;
    }
    if (manager == nullptr) {
        return;
    }
    TdtDecoderState fresh = TdtDecoderState::make(manager->windowInference().decoderLayerCount());
    {
        std::lock_guard lock(mutex_);
        decoderState_ = std::move(fresh);
    }
    logger_.info("Successfully reset decoder state during error recovery");
}

double SlidingWindowAsrManager::receivedSeconds() const {
    std::lock_guard lock(mutex_);
    return static_cast<double>(bufferEndLocked()) / ASRConstants::sampleRate;
}

} // namespace quorl
