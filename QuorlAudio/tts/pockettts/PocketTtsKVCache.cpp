#include "QuorlAudio/tts/pockettts/PocketTtsKVCache.hpp"

#include "QuorlAudio/foundation/DecimalText.hpp"
#include "QuorlAudio/tts/pockettts/PocketTTSError.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsConstants.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsRequiredOutput.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsSynthesisContext.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsVoiceSnapshotCheck.hpp"
#include "platform/core/Concatenated.hpp"
#include "platform/ml/DictionaryFeatureProvider.hpp"
#include "platform/ml/MultiArrayCopy.hpp"

#include <algorithm>
#include <bit>
#include <cmath>

namespace quorl::PocketTtsSynthesizer {
namespace {

using platform::core::concatenated;
using platform::ml::DataType;
using platform::ml::MultiArray;

constexpr std::size_t capacity = PocketTtsConstants::kvCacheMaxLen;
constexpr std::size_t width = PocketTtsConstants::transformerDim;
constexpr std::size_t latentDim = PocketTtsConstants::latentDim;
constexpr std::size_t prefillTokens = PocketTtsConstants::condPrefillMaxTokens;
const MultiArray::Shape planeShape{1, capacity, 16, 64};
const MultiArray::Shape combinedShape{2, 1, capacity, 16, 64};

std::string text(std::int64_t value) { return std::to_string(value); }

MultiArrayRef floatArray(MultiArray::Shape shape) {
    return std::make_shared<MultiArray>(std::move(shape), DataType::float32);
}

MultiArrayRef floatArray(MultiArray::Shape shape, std::span<const float> values) {
    auto array = floatArray(std::move(shape));
    std::copy(values.begin(), values.end(), array->data<float>());
    return array;
}

MultiArrayRef position(float value) { return floatArray({1}, std::span(&value, 1)); }

// The first `count` values, refused with a message naming `what` when there are fewer.
std::span<const float> leading(std::span<const float> values, std::size_t count, const std::string& what) {
    if (values.size() < count) {
        throw PocketTTSError::processingFailed(
            concatenated({what, " has ", text(static_cast<std::int64_t>(values.size())), " floats, expected ",
                          text(static_cast<std::int64_t>(count))}));
    }
    return values.first(count);
}

MultiArrayRef copyOf(const MultiArray& source) {
    auto copy = std::make_shared<MultiArray>(source.shape(), source.dataType());
    platform::ml::copyElements(source, *copy);
    return copy;
}

std::vector<MultiArrayRef> copiesOf(const std::vector<MultiArrayRef>& arrays) {
    std::vector<MultiArrayRef> copies;
    copies.reserve(arrays.size());
    for (const auto& array : arrays) {
        copies.push_back(copyOf(*array));
    }
    return copies;
}

std::int64_t layerCount(const PocketTtsLayerKeys& keys) { return static_cast<std::int64_t>(keys.cacheKeys.size()); }

std::shared_ptr<const platform::ml::FeatureProvider> predict(const platform::ml::Model& model, ModelInputs inputs) {
    return model.predict(platform::ml::DictionaryFeatureProvider(std::move(inputs)));
}

// The voice's conditioning tokens: the start embedding, then the prompt frames. Empty for a voice that
// needs no model run.
std::vector<float> voiceTokens(const PocketTtsVoiceData& voiceData,
                               const std::optional<std::vector<float>>& bosBeforeVoice) {
    if (voiceData.cacheSnapshot || voiceData.promptLength < 1) {
        return {};
    }
    if (!bosBeforeVoice) {
        throw PocketTTSError::processingFailed(
            "PocketTTS v1 cloned-voice prefill requires bos_before_voice constant. Re-download the language pack "
            "to get constants_bin/bos_before_voice.bin.");
    }
    if (bosBeforeVoice->size() != width) {
        throw PocketTTSError::processingFailed(
            concatenated({"bos_before_voice has ", text(static_cast<std::int64_t>(bosBeforeVoice->size())),
                          " floats, expected ", text(width)}));
    }
    const auto prompt = leading(voiceData.audioPrompt, static_cast<std::size_t>(voiceData.promptLength) * width,
                                "voice prompt of " + text(voiceData.promptLength) + " frames");
    std::vector<float> tokens(*bosBeforeVoice);
    tokens.insert(tokens.end(), prompt.begin(), prompt.end());
    return tokens;
}

std::vector<float> textTokens(const std::vector<std::vector<float>>& textEmbeddings) {
    std::vector<float> tokens;
    tokens.reserve(textEmbeddings.size() * width);
    for (std::size_t index = 0; index < textEmbeddings.size(); ++index) {
        const auto row = leading(textEmbeddings[index], width, "text embedding " + text(index));
        tokens.insert(tokens.end(), row.begin(), row.end());
    }
    return tokens;
}

std::string positionText(double value) {
    return std::isfinite(value) ? text(static_cast<std::int64_t>(value)) : decimalText(value);
}

void runTokens(std::span<const float> tokens, KVCacheState& state, const ConditioningModels& models) {
    const std::size_t count = tokens.size() / width;
    if (count == 0) {
        return;
    }
    if (models.useFastPrefill && models.prefillKeys) {
        runCondPrefill(tokens, static_cast<std::int64_t>(count), state, *models.prefill, *models.prefillKeys);
        return;
    }
    for (std::size_t token = 0; token < count; ++token) {
        runCondStep(tokens.subspan(token * width, width), state, *models.step, models.stepKeys);
    }
}

} // namespace

KVCacheState emptyKVCacheState(std::int64_t layers, bool splitKV) {
    KVCacheState state;
    if (splitKV) {
        state.vCaches.emplace();
    }
    for (std::int64_t layer = 0; layer < layers; ++layer) {
        state.caches.push_back(floatArray(splitKV ? planeShape : combinedShape));
        if (splitKV) {
            state.vCaches->push_back(floatArray(planeShape));
        }
        state.positions.push_back(position(0));
    }
    return state;
}

KVCacheState kvCacheStateFromSnapshot(const PocketTtsVoiceCacheSnapshot& snapshot, std::int64_t layers, bool splitKV) {
    checkVoiceSnapshot(snapshot, layers, "model capacity");
    const std::size_t plane = static_cast<std::size_t>(snapshot.cacheSeqLen) * width;
    KVCacheState state = emptyKVCacheState(layers, splitKV);
    for (std::size_t layer = 0; layer < snapshot.layers.size(); ++layer) {
        const auto& cache = snapshot.layers[layer].cache;
        const auto keys = std::span(cache).first(plane);
        const auto values = std::span(cache).subspan(plane, plane);
        float* keyStart = state.caches[layer]->data<float>();
        float* valueStart = splitKV ? (*state.vCaches)[layer]->data<float>() : keyStart + capacity * width;
        std::copy(keys.begin(), keys.end(), keyStart);
        std::copy(values.begin(), values.end(), valueStart);
        state.positions[layer] = position(static_cast<float>(snapshot.layers[layer].offset));
    }
    return state;
}

KVCacheState cloneKVCacheState(const KVCacheState& state) {
    KVCacheState clone{.caches = copiesOf(state.caches), .vCaches = std::nullopt, .positions = {}};
    if (state.vCaches) {
        clone.vCaches = copiesOf(*state.vCaches);
    }
    clone.positions = copiesOf(state.positions);
    return clone;
}

KVCacheState prefillKVCache(const PocketTtsVoiceData& voiceData, const std::vector<std::vector<float>>& textEmbeddings,
                            const std::optional<std::vector<float>>& bosBeforeVoice, const ConditioningModels& models) {
    const auto layers = layerCount(models.stepKeys);
    const bool split = models.stepKeys.vCacheKeys.has_value();
    KVCacheState state = voiceData.cacheSnapshot ? kvCacheStateFromSnapshot(*voiceData.cacheSnapshot, layers, split)
                                                 : emptyKVCacheState(layers, split);
    const auto voice = voiceTokens(voiceData, bosBeforeVoice);
    const auto textRows = textTokens(textEmbeddings);
    checkPrefillCapacity(cachePosition(state), (voice.size() + textRows.size()) / width);
    runTokens(voice, state, models);
    runTokens(textRows, state, models);
    synthesisLogger().info("KV cache prefilled to position " + positionText(cachePosition(state)));
    return state;
}

KVCacheState prefillVoice(const PocketTtsVoiceData& voiceData, const std::optional<std::vector<float>>& bosBeforeVoice,
                          const ConditioningModels& models) {
    const auto layers = layerCount(models.stepKeys);
    const bool split = models.stepKeys.vCacheKeys.has_value();
    if (voiceData.cacheSnapshot) {
        return kvCacheStateFromSnapshot(*voiceData.cacheSnapshot, layers, split);
    }
    KVCacheState state = emptyKVCacheState(layers, split);
    const auto voice = voiceTokens(voiceData, bosBeforeVoice);
    checkPrefillCapacity(0, voice.size() / width);
    runTokens(voice, state, models);
    return state;
}

void prefillText(KVCacheState& state, const std::vector<std::vector<float>>& textEmbeddings,
                 const ConditioningModels& models) {
    const auto textRows = textTokens(textEmbeddings);
    checkPrefillCapacity(cachePosition(state), textRows.size() / width);
    runTokens(textRows, state, models);
}

void runCondPrefill(std::span<const float> flatConditioning, std::int64_t tokenCount, KVCacheState& state,
                    const platform::ml::Model& model, const PocketTtsLayerKeys& layerKeys) {
    for (std::int64_t start = 0; start < tokenCount;) {
        const auto chunk = std::min<std::int64_t>(tokenCount - start, prefillTokens);
        const auto offset = std::min(flatConditioning.size(), static_cast<std::size_t>(start) * width);
        const auto values = flatConditioning.subspan(offset).first(
            std::min(flatConditioning.size() - offset, static_cast<std::size_t>(chunk) * width));
        ModelInputs inputs{{"conditioning", floatArray({1, prefillTokens, width}, values)},
                           {"valid_len", position(static_cast<float>(chunk))}};
        addCacheInputs(inputs, state, layerCount(layerKeys));
        extractCacheOutputs(*predict(model, std::move(inputs)), state, layerKeys, "cond_prefill");
        start += chunk;
    }
}

void runCondStep(std::span<const float> token, KVCacheState& state, const platform::ml::Model& model,
                 const PocketTtsLayerKeys& layerKeys) {
    ModelInputs inputs{{"conditioning", createConditioningToken(token, 0, width)}};
    addCacheInputs(inputs, state, layerCount(layerKeys));
    extractCacheOutputs(*predict(model, std::move(inputs)), state, layerKeys, "cond_step");
}

FlowLMStepResult runFlowLMStep(const MultiArrayRef& sequence, const MultiArrayRef& bosEmb, KVCacheState& state,
                               const platform::ml::Model& model, const PocketTtsLayerKeys& layerKeys) {
    if (!layerKeys.transformerOut || !layerKeys.eosLogit) {
        throw PocketTTSError::processingFailed("flowlm_step layer keys missing transformer/eos outputs");
    }
    ModelInputs inputs{{"sequence", sequence}};
    if (!layerKeys.vCacheKeys) {
        inputs.insert_or_assign("bos_emb", bosEmb);
    }
    addCacheInputs(inputs, state, layerCount(layerKeys));
    const auto outputs = predict(model, std::move(inputs));
    auto transformerOut = requiredOutput(*outputs, *layerKeys.transformerOut, "Missing flowlm_step transformer output");
    const auto eos = requiredOutput(*outputs, *layerKeys.eosLogit, "Missing flowlm_step EOS logit");
    if (eos->count() == 0) {
        throw PocketTTSError::processingFailed("Missing flowlm_step EOS logit");
    }
    const auto eosLogit = static_cast<float>(eos->value(0));
    extractCacheOutputs(*outputs, state, layerKeys, "flowlm_step");
    return {.transformerOut = std::move(transformerOut), .eosLogit = eosLogit};
}

MultiArrayRef createNaNSequence() {
    const std::vector<float> nans(latentDim, std::bit_cast<float>(0x7FC00000U));
    return floatArray({1, 1, latentDim}, nans);
}

MultiArrayRef createSequenceFromLatent(std::span<const float> latent) {
    return floatArray({1, 1, latentDim}, leading(latent, latentDim, "latent"));
}

MultiArrayRef createBosEmbedding(std::span<const float> bosEmbedding) {
    return floatArray({latentDim}, leading(bosEmbedding, latentDim, "bos_emb"));
}

MultiArrayRef createConditioningToken(std::span<const float> from, std::int64_t offset, std::int64_t dim) {
    const auto start = std::min(from.size(), static_cast<std::size_t>(offset));
    const auto values = leading(from.subspan(start), static_cast<std::size_t>(dim), "conditioning token");
    return floatArray({1, 1, static_cast<std::size_t>(dim)}, values);
}

void addCacheInputs(ModelInputs& inputs, const KVCacheState& state, std::int64_t layers) {
    for (std::int64_t layer = 0; layer < layers; ++layer) {
        const auto index = static_cast<std::size_t>(layer);
        if (state.vCaches) {
            inputs.insert_or_assign("k_cache" + text(layer), state.caches[index]);
            inputs.insert_or_assign("v_cache" + text(layer), (*state.vCaches)[index]);
        } else {
            inputs.insert_or_assign("cache" + text(layer), state.caches[index]);
        }
        inputs.insert_or_assign("position" + text(layer), state.positions[index]);
    }
}

void extractCacheOutputs(const platform::ml::FeatureProvider& outputs, KVCacheState& state,
                         const PocketTtsLayerKeys& layerKeys, const std::string& modelLabel) {
    for (std::size_t layer = 0; layer < layerKeys.cacheKeys.size(); ++layer) {
        const auto& cacheKey = layerKeys.cacheKeys[layer];
        const auto& positionKey = layerKeys.positionKeys.at(layer);
        auto cache =
            requiredOutput(outputs, cacheKey, concatenated({"Missing ", modelLabel, " cache output: ", cacheKey}));
        auto newPosition = requiredOutput(outputs, positionKey,
                                          concatenated({"Missing ", modelLabel, " position output: ", positionKey}));
        state.caches.at(layer) = std::move(cache);
        state.positions.at(layer) = std::move(newPosition);
        if (layerKeys.vCacheKeys) {
            const auto& valueKey = layerKeys.vCacheKeys->at(layer);
            auto values = requiredOutput(outputs, valueKey,
                                         concatenated({"Missing ", modelLabel, " v-cache output: ", valueKey}));
            if (state.vCaches) {
                state.vCaches->at(layer) = std::move(values);
            }
        }
    }
}

double cachePosition(const KVCacheState& state) {
    if (state.positions.empty() || state.positions.front()->count() == 0) {
        return 0;
    }
    return state.positions.front()->value(0);
}

void checkPrefillCapacity(double start, std::size_t tokenCount) {
    if (start + static_cast<double>(tokenCount) > static_cast<double>(capacity)) {
        throw PocketTTSError::processingFailed(
            concatenated({"KV cache prefill of ", text(tokenCount), " tokens from position ", positionText(start),
                          " passes its capacity ", text(capacity)}));
    }
}

} // namespace quorl::PocketTtsSynthesizer
