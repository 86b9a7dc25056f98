#pragma once

#include "QuorlAudio/tts/pockettts/PocketTtsConstantsBundle.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsFrameDecoding.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsKVCache.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsLanguage.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsMimiKeys.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsStateModels.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsVoiceData.hpp"
#include "QuorlAudio/tts/pockettts/SeededRNG.hpp"
#include "platform/ml/Model.hpp"

#include <cstdint>
#include <memory>
#include <optional>

namespace quorl {

// The road of a session whose flow language model takes its key-value cache in and out of every call: the
// models and keys, and the cache holding the prefilled voice, which every chunk starts from a copy of.
struct PocketTtsSessionCachePath {
    PocketTtsSynthesizer::ConditioningModels conditioning{};
    std::shared_ptr<platform::ml::Model> stepModel{};
    std::shared_ptr<platform::ml::Model> flowModel{};
    PocketTtsLayerKeys flowlmLayerKeys{};
    PocketTtsSynthesizer::KVCacheState voiceKVSnapshot{};
};

// The road of a session whose cache lives in the stateful model's state: its two functions and the voice,
// prefilled on the first chunk.
struct PocketTtsSessionStatePath {
    PocketTtsStateModels stateModels{};
    std::shared_ptr<const PocketTtsVoiceData> voiceData{};
};

// Everything a session generates with, gathered by its construction. Exactly one road is set.
struct PocketTtsSessionSetup {
    std::optional<PocketTtsSessionCachePath> cachePath{};
    std::optional<PocketTtsSessionStatePath> statePath{};
    std::shared_ptr<platform::ml::Model> mimiModel{};
    PocketTtsMimiKeys mimiKeys{};
    std::shared_ptr<const PocketTtsConstantsBundle> constants{};
    PocketTtsSynthesizer::MultiArrayRef bosEmb{};
    // The noise scale; not validated.
    float temperature = 0;
    PocketTtsLanguage language{};
    std::int64_t maxTokensPerChunk = 0;
    // Both run on across every chunk and utterance of the session.
    PocketTtsSynthesizer::MimiState mimiState{};
    SeededRNG rng{0};
};

} // namespace quorl
