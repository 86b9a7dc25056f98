#include "QuorlAudio/tts/kokoro/KokoroAneStageTimings.hpp"

namespace quorl {

double KokoroAneStageTimings::totalMs() const {
    return albert + postAlbert + alignment + prosody + noise + vocoder + tail;
}

double& KokoroAneStageTimings::forStage(KokoroAneStage stage) { return stageMember(*this, stage); }

KokoroAneStageTimings& KokoroAneStageTimings::operator+=(const KokoroAneStageTimings& other) {
    albert += other.albert;
    postAlbert += other.postAlbert;
    alignment += other.alignment;
    prosody += other.prosody;
    noise += other.noise;
    vocoder += other.vocoder;
    tail += other.tail;
    return *this;
}

} // namespace quorl
