#include "QuorlAudio/vad/VadConfig.hpp"

namespace quorl {

VadConfig VadConfig::defaultConfig() { return VadConfig{}; }

} // namespace quorl
