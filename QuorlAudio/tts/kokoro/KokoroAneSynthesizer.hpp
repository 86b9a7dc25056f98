#pragma once

#include "QuorlAudio/tts/frontend/KokoroAneConstants.hpp"
#include "QuorlAudio/tts/kokoro/KokoroAneModelStore.hpp"
#include "QuorlAudio/tts/kokoro/KokoroAneSynthesisResult.hpp"

#include <cstdint>
#include <vector>

// One encoded phoneme sequence and one voice-pack row to 24 kHz audio through the seven stage models, in chain
// order. Between the stages it turns the predicted durations into frame counts and copies each output that a
// later stage takes into a fresh dense array of the type that stage expects. It holds no state.
namespace quorl::KokoroAneSynthesizer {

struct Request {
    // The phoneme ids, framed by the two framing ids.
    std::vector<std::int32_t> inputIds;
    // 128 values each.
    std::vector<float> styleS;
    std::vector<float> styleTimbre;
    // The duration stage's own speed input; not checked.
    float speed = KokoroAneConstants::defaultSpeed;
};

// Throws KokoroAneError invalidVoicePack for a style vector that is not 128 long (before any model runs),
// modelNotLoaded for a stage the store lacks, predictionFailed for a failing stage, unexpectedOutputShape for a
// missing output, acousticFramesExceedCap before the alignment stage; cancellation of the current task is
// honoured between the stages.
KokoroAneSynthesisResult synthesize(const Request& request, const KokoroAneModelStore& store);

} // namespace quorl::KokoroAneSynthesizer
