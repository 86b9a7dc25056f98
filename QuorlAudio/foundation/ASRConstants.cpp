#include "QuorlAudio/foundation/ASRConstants.hpp"

#include <cmath>

namespace quorl::ASRConstants {

int calculateEncoderFrames(int samples) {
    return static_cast<int>(std::ceil(static_cast<double>(samples) / samplesPerEncoderFrame));
}

int minimumRequiredSamples(int sampleRate) {
    return static_cast<int>(static_cast<double>(sampleRate) * minimumAudioDurationSeconds);
}

} // namespace quorl::ASRConstants
