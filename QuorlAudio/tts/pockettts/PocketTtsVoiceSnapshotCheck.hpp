#pragma once

#include "QuorlAudio/tts/pockettts/PocketTtsVoiceCacheSnapshot.hpp"

#include <cstdint>
#include <string_view>

namespace quorl {

// Whether a shipped voice's cache fits a model of `layers` layers: the same layer count, at most 512 positions
// and S × 2048 floats in every layer. Throws PocketTTSError::processingFailed naming the first misfit; a
// sequence too long is said to exceed the `capacityName` ("model capacity" for the cache passed in and out of
// the model, "capacity" for the cache held in its state).
void checkVoiceSnapshot(const PocketTtsVoiceCacheSnapshot& snapshot, std::int64_t layers,
                        std::string_view capacityName);

} // namespace quorl
