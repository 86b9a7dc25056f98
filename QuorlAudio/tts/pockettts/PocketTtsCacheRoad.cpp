#include "QuorlAudio/tts/pockettts/PocketTtsCacheRoad.hpp"

#include "QuorlAudio/tts/pockettts/PocketTtsModelStore.hpp"

#include <utility>

namespace quorl::PocketTtsSynthesizer {
namespace {

void choosePrefill(const PocketTtsModelStore& store, ConditioningModels& models) {
    auto prefillKeys = store.condPrefillStepLayerKeys();
    if (store.hasCondPrefill() && prefillKeys) {
        models.prefill = store.condPrefill();
        models.prefillKeys = std::move(prefillKeys);
        models.useFastPrefill = true;
    } else {
        models.prefill = models.step;
    }
}

} // namespace

PocketTtsCacheRoad readCacheRoad(const PocketTtsModelStore& store) {
    PocketTtsCacheRoad road;
    road.conditioning.step = store.condStep();
    road.stepModel = store.flowlmStep();
    road.flowModel = store.flowDecoder();
    road.mimiModel = store.mimiDecoder();
    road.conditioning.stepKeys = store.condStepLayerKeys();
    choosePrefill(store, road.conditioning);
    road.flowlmLayerKeys = store.flowLMStepLayerKeys();
    road.mimiKeys = store.mimiDecoderKeys();
    return road;
}

} // namespace quorl::PocketTtsSynthesizer
