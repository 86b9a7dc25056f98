#include "QuorlAudio/diarization/chunked/DiarizerConfig.hpp"

namespace quorl {

DiarizerConfig DiarizerConfig::defaultConfig() { return DiarizerConfig{}; }

} // namespace quorl
