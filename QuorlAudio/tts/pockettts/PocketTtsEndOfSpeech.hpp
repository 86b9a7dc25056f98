#pragma once

#include "QuorlAudio/tts/pockettts/PocketTtsConstants.hpp"

#include <cstdint>
#include <optional>

namespace quorl::PocketTtsSynthesizer {

// When a chunk is over: `framesAfterEos` + 2 frames after the first step whose end-of-speech logit passes the
// threshold, counting that step.
class EndOfSpeech {
public:
    explicit EndOfSpeech(std::int64_t framesAfterEos) : framesAfterEos_(framesAfterEos) {}

    // Whether the step's output is past the end; true once reported means the step is not decoded.
    bool isPast(std::int64_t step) const {
        return eosStep_ && step >= *eosStep_ + framesAfterEos_ + PocketTtsConstants::extraFramesAfterDetection;
    }

    // True the first time a logit passes the threshold; equal does not.
    bool observe(std::int64_t step, float logit) {
        if (eosStep_ || !(logit > PocketTtsConstants::eosThreshold)) {
            return false;
        }
        eosStep_ = step;
        return true;
    }

private:
    std::int64_t framesAfterEos_;
    std::optional<std::int64_t> eosStep_;
};

} // namespace quorl::PocketTtsSynthesizer
