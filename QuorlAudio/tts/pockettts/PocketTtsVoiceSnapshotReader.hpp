#pragma once

#include "QuorlAudio/tts/pockettts/PocketTtsVoiceCacheSnapshot.hpp"

#include <string_view>

namespace quorl {

// The per-layer key-value caches of a voice file's bytes: the tensors "transformer.layers.<i>.self_attn/cache"
// (F32, [2, 1, S, 16, 64]) and ".../offset" (I64, [1]) for layers 0 to L − 1. Messages begin with
// `voiceName` + ".safetensors: ". Throws PocketTtsConstantsLoader::LoadError.
PocketTtsVoiceCacheSnapshot readVoiceSnapshot(std::string_view bytes, std::string_view voiceName);

} // namespace quorl
