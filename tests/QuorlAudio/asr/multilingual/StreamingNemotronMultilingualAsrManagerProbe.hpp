#pragma once

#include "QuorlAudio/asr/multilingual/StreamingNemotronMultilingualAsrManager.hpp"

namespace quorl {

// Access to a manager's private fields, so tests check what loading and decoding left behind and choose the
// energy gate's settings that a process otherwise reads once from its environment.
class StreamingNemotronMultilingualAsrManagerProbe {
public:
    using Manager = StreamingNemotronMultilingualAsrManager;

    static const NemotronMultilingualModels& models(const Manager& manager) { return manager.models_; }
    static const NemotronMultilingualStreamState& state(const Manager& manager) { return manager.state_; }
    static NemotronMultilingualModels& mutableModels(Manager& manager) { return manager.models_; }
    static NemotronMultilingualStreamState& mutableState(Manager& manager) { return manager.state_; }
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
    static const NemotronMultilingualAudioBuffer& audioBuffer(const Manager& manager) { return manager.audioBuffer_; }
    static const NemotronMultilingualTranscript& transcript(const Manager& manager) { return manager.transcript_; }
    static std::int64_t processedChunks(const Manager& manager) { return manager.processedChunks_; }
    static void setGate(Manager& manager, NemotronMultilingualEnergyGate::Settings settings) {
        manager.gate_ = NemotronMultilingualEnergyGate(settings);
    }
    static const std::shared_ptr<platform::ml::MultiArray>& encoderStepBuf(const Manager& manager) {
        return manager.stepBuffers_.encoderStep;
    }
    static const std::shared_ptr<platform::ml::MultiArray>& encoderProjStepBuf(const Manager& manager) {
        return manager.stepBuffers_.encoderProjStep;
    }
    static const std::shared_ptr<platform::ml::MultiArray>& tokenInputBuf(const Manager& manager) {
        return manager.stepBuffers_.tokenInput;
    }
    static const std::shared_ptr<platform::ml::MultiArray>& encProjBatch(const Manager& manager) {
        return manager.encProjBatchReusable_;
    }
    static const std::shared_ptr<platform::ml::MultiArray>& tokenLenBuf(const Manager& manager) {
        return manager.stepBuffers_.tokenLength;
    }
};

} // namespace quorl
