#include "QuorlAudio/asr/other/SenseVoiceConfig.hpp"

namespace quorl {

int SenseVoiceConfig::pickBucket(int frames) {
    for (const int bucket : buckets) {
        if (bucket >= frames) {
            return bucket;
        }
    }
    return buckets.back();
}

} // namespace quorl
