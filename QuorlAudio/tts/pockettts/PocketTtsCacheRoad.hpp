#pragma once

#include "QuorlAudio/tts/pockettts/PocketTtsKVCache.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsLayerKeys.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsMimiKeys.hpp"
#include "platform/ml/Model.hpp"

#include <memory>

namespace quorl {
class PocketTtsModelStore;
}

namespace quorl::PocketTtsSynthesizer {

// The models and feature names of the road that passes the key-value cache in and out of every call (the gpu
// and ane placements), as a stream or a session takes them from the store.
struct PocketTtsCacheRoad {
    ConditioningModels conditioning{};
    std::shared_ptr<platform::ml::Model> stepModel{};
    std::shared_ptr<platform::ml::Model> flowModel{};
    std::shared_ptr<platform::ml::Model> mimiModel{};
    PocketTtsLayerKeys flowlmLayerKeys{};
    PocketTtsMimiKeys mimiKeys{};
};

// Read in the order that decides which missing piece is reported: the cond_step, flowlm_step, flow decoder
// and Mimi decoder models, the cond_step keys, the prefill model (the cond_step model in its place unless the
// store has both a prefill model and its keys), the flowlm_step keys and the Mimi keys. Throws the store's
// PocketTTSError::modelNotFound for the first one missing.
PocketTtsCacheRoad readCacheRoad(const PocketTtsModelStore& store);

} // namespace quorl::PocketTtsSynthesizer
