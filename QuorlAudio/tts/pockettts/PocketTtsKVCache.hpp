#pragma once

#include "QuorlAudio/tts/pockettts/PocketTtsLayerKeys.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsVoiceCacheSnapshot.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsVoiceData.hpp"
#include "platform/ml/FeatureProvider.hpp"
#include "platform/ml/FeatureValue.hpp"
#include "platform/ml/Model.hpp"
#include "platform/ml/MultiArray.hpp"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

// The flow language model's key-value cache, which every conditioning and flow-LM call takes whole as inputs
// and returns updated as outputs, and the calls that fill and advance it.
namespace quorl::PocketTtsSynthesizer {

using MultiArrayRef = std::shared_ptr<platform::ml::MultiArray>;

// One array per transformer layer. Arrays are shared and never written once built: a model call swaps them
// for its outputs, so copying a state copies references only.
struct KVCacheState {
    // Keys and values together ([2, 1, 512, 16, 64]), or keys alone ([1, 512, 16, 64]) when `vCaches` is set.
    std::vector<MultiArrayRef> caches{};
    std::optional<std::vector<MultiArrayRef>> vCaches{};
    // Shape [1]: the index the next token is written at.
    std::vector<MultiArrayRef> positions{};
};

// The conditioning models of a generation: the step model, one token per call, and the prefill model, up
// to 256 tokens per call, used for both voice and text when `useFastPrefill` is set and its keys are known.
struct ConditioningModels {
    std::shared_ptr<platform::ml::Model> step{};
    PocketTtsLayerKeys stepKeys{};
    std::shared_ptr<platform::ml::Model> prefill{};
    std::optional<PocketTtsLayerKeys> prefillKeys{};
    bool useFastPrefill = false;
};

struct FlowLMStepResult {
    MultiArrayRef transformerOut{};
    float eosLogit = 0;
};

using ModelInputs = std::map<std::string, platform::ml::FeatureValue>;

KVCacheState emptyKVCacheState(std::int64_t layers, bool splitKV);
// Throws PocketTTSError::processingFailed for a snapshot of another layer count, more than 512 positions or
// a layer of the wrong size, before building anything.
KVCacheState kvCacheStateFromSnapshot(const PocketTtsVoiceCacheSnapshot& snapshot, std::int64_t layers, bool splitKV);
// New arrays of equal content, so one voice state can start several generations.
KVCacheState cloneKVCacheState(const KVCacheState& state);

// A fresh state holding the voice and then the text embeddings (1024 floats each). Throws
// PocketTTSError::processingFailed when the voice is malformed or the tokens would pass the cache's 512
// positions, before any model call.
KVCacheState prefillKVCache(const PocketTtsVoiceData& voiceData, const std::vector<std::vector<float>>& textEmbeddings,
                            const std::optional<std::vector<float>>& bosBeforeVoice, const ConditioningModels& models);
// The voice alone in a fresh state, as prefillKVCache puts it there, for a session that adds each chunk's text
// to a copy of it.
KVCacheState prefillVoice(const PocketTtsVoiceData& voiceData, const std::optional<std::vector<float>>& bosBeforeVoice,
                          const ConditioningModels& models);
// Appends the text embeddings after what the state holds; PocketTTSError::processingFailed, before any model
// call, when they would pass the cache's 512 positions.
void prefillText(KVCacheState& state, const std::vector<std::vector<float>>& textEmbeddings,
                 const ConditioningModels& models);
// The cache holds 512 positions; a model asked to write past them would index outside its arrays. Throws
// PocketTTSError::processingFailed when `tokenCount` tokens from `start` would.
void checkPrefillCapacity(double start, std::size_t tokenCount);
// Runs `tokenCount` tokens of 1024 floats through the prefill model, 256 per call.
void runCondPrefill(std::span<const float> flatConditioning, std::int64_t tokenCount, KVCacheState& state,
                    const platform::ml::Model& model, const PocketTtsLayerKeys& layerKeys);
// One conditioning token through the step model.
void runCondStep(std::span<const float> token, KVCacheState& state, const platform::ml::Model& model,
                 const PocketTtsLayerKeys& layerKeys);
FlowLMStepResult runFlowLMStep(const MultiArrayRef& sequence, const MultiArrayRef& bosEmb, KVCacheState& state,
                               const platform::ml::Model& model, const PocketTtsLayerKeys& layerKeys);

// [1, 1, 32] of quiet NaNs: the sequence of a generation's first step.
MultiArrayRef createNaNSequence();
// [1, 1, 32] holding the first 32 values of the latent; PocketTTSError::processingFailed for fewer.
MultiArrayRef createSequenceFromLatent(std::span<const float> latent);
// [32]; PocketTTSError::processingFailed for fewer than 32 values.
MultiArrayRef createBosEmbedding(std::span<const float> bosEmbedding);
MultiArrayRef createConditioningToken(std::span<const float> from, std::int64_t offset, std::int64_t dim);

void addCacheInputs(ModelInputs& inputs, const KVCacheState& state, std::int64_t layers);
// Swaps the state's arrays for the prediction's, layer by layer; throws PocketTTSError::processingFailed
// naming the first one missing, leaving the layers before it replaced.
void extractCacheOutputs(const platform::ml::FeatureProvider& outputs, KVCacheState& state,
                         const PocketTtsLayerKeys& layerKeys, const std::string& modelLabel);

// The position of layer 0, where the next token goes.
double cachePosition(const KVCacheState& state);

} // namespace quorl::PocketTtsSynthesizer
