#pragma once

#include "QuorlAudio/tts/pockettts/PocketTtsConstantsBundle.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsLayerKeys.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsMimiKeys.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsStateModels.hpp"
#include "platform/ml/Model.hpp"

#include <memory>
#include <optional>

namespace quorl {

// Everything a PocketTTS model store serves once loaded: the models of one placement with the feature names
// found in them, and the language pack's constants. Made whole or not at all.
struct PocketTtsLoadedModels {
    // The key-value cache road (placements gpu and ane); null on the stateful road.
    std::shared_ptr<platform::ml::Model> conditioner;
    std::shared_ptr<platform::ml::Model> flowlmStep;
    std::shared_ptr<platform::ml::Model> flowDecoder;
    std::optional<PocketTtsLayerKeys> condLayerKeys;
    std::optional<PocketTtsLayerKeys> flowlmLayerKeys;
    // The stateful road (placement aneState) only.
    std::optional<PocketTtsStateModels> stateModels;
    // Both roads.
    std::shared_ptr<platform::ml::Model> mimiDecoder;
    PocketTtsMimiKeys mimiDecoderKeys;
    std::shared_ptr<const PocketTtsConstantsBundle> constants;
};

} // namespace quorl
