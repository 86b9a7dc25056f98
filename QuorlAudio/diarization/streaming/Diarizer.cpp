#include "QuorlAudio/diarization/streaming/Diarizer.hpp"

namespace quorl {

Diarizer::~Diarizer() = default;

} // namespace quorl
