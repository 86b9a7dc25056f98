#include "QuorlAudio/tts/frontend/G2PModelEnvironment.hpp"

namespace quorl {

std::filesystem::path G2PModelEnvironment::modelFolder() const { return cacheRoot() / "Models" / "kokoro"; }

bool G2PModelEnvironment::isContinuousIntegration() const { return variable("CI").has_value(); }

} // namespace quorl
