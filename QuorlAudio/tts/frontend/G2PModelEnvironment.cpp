#include "QuorlAudio/tts/frontend/G2PModelEnvironment.hpp"

namespace quorl {

std::filesystem::path G2PModelEnvironment::modelFolder() const { return cacheRoot() / "Models" / "kokoro"; }

bool G2PModelEnvironment::loadUnlessExcused(const std::function<void()>& load, const AppLogger& logger,
                                            const std::string& warning) const {
    try {
        load();
    } catch (...) {
        if (!variable("CI")) {
            throw;
        }
        logger.warning(warning);
        return false;
    }
    return true;
}

} // namespace quorl
