#include "QuorlAudio/tts/kokoro/KokoroAneStageTimings.hpp"

namespace quorl {

double KokoroAneStageTimings::totalMs() const {
    return albert + postAlbert + alignment + prosody + noise + vocoder + tail;
}

double& KokoroAneStageTimings::forStage(KokoroAneStage stage) {
    switch (stage) {
    case KokoroAneStage::albert: return albert;
    case KokoroAneStage::postAlbert: return postAlbert;
    case KokoroAneStage::alignment: return alignment;
    case KokoroAneStage::prosody: return prosody;
    case KokoroAneStage::noise: return noise;
    case KokoroAneStage::vocoder: return vocoder;
    case KokoroAneStage::tail: return tail;
    }
    return albert;
}

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
