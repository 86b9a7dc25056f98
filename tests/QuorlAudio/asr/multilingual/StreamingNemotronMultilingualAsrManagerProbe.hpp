#pragma once

#include "QuorlAudio/asr/multilingual/StreamingNemotronMultilingualAsrManager.hpp"

namespace quorl {

// Read access to a manager's private fields, so tests check what loading left behind.
class StreamingNemotronMultilingualAsrManagerProbe {
public:
    using Manager = StreamingNemotronMultilingualAsrManager;

    static const NemotronMultilingualModels& models(const Manager& manager) { return manager.models_; }
    static const NemotronMultilingualStreamState& state(const Manager& manager) { return manager.state_; }
    static const std::optional<NemotronMelExtractor>& melExtractor(const Manager& manager) {
        return manager.melExtractor_;
    }
    static const std::optional<NemotronMelExtractor>& prefetchMelExtractor(const Manager& manager) {
        return manager.prefetchMelExtractor_;
    }
    static const std::shared_ptr<const NemotronMultilingualTokenizer>& tokenizer(const Manager& manager) {
        return manager.tokenizer_;
    }
    static std::int32_t currentPromptId(const Manager& manager) { return manager.currentPromptId_; }
    static const std::shared_ptr<platform::ml::MultiArray>& encoderStepBuf(const Manager& manager) {
        return manager.stepBuffers_.encoderStep;
    }
    static const std::shared_ptr<platform::ml::MultiArray>& encoderProjStepBuf(const Manager& manager) {
        return manager.stepBuffers_.encoderProjStep;
    }
    static const std::shared_ptr<platform::ml::MultiArray>& tokenInputBuf(const Manager& manager) {
        return manager.stepBuffers_.tokenInput;
    }
    static const std::shared_ptr<platform::ml::MultiArray>& tokenLenBuf(const Manager& manager) {
        return manager.stepBuffers_.tokenLength;
    }
};

} // namespace quorl
