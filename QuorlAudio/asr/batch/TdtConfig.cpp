#include "QuorlAudio/asr/batch/TdtConfig.hpp"

namespace quorl {

const TdtConfig& TdtConfig::defaultConfig() {
    static const TdtConfig preset;
    return preset;
}

} // namespace quorl
