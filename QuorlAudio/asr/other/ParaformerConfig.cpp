#include "QuorlAudio/asr/other/ParaformerConfig.hpp"

namespace quorl {

int ParaformerConfig::pickEncoderBucket(int frames) {
    for (const int bucket : encoderBuckets) {
        if (bucket >= frames) {
            return bucket;
        }
    }
    return encoderBuckets.back();
}

} // namespace quorl
