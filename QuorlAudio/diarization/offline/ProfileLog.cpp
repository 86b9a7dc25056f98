#include "QuorlAudio/diarization/offline/ProfileLog.hpp"

#include "QuorlAudio/foundation/AppLogger.hpp"
#include "platform/core/Concatenated.hpp"
#include "platform/sys/StandardError.hpp"

#include <exception>

namespace quorl {

void emitProfileLog(const std::string& message, const AppLogger& failureLogger) {
    try {
        platform::sys::StandardError::write(platform::core::concatenated({"[Profiling] ", message, "\n"}));
    } catch (const std::exception& error) {
        failureLogger.warning(std::string("Failed to write profiling log: ") + error.what());
    }
}

} // namespace quorl
