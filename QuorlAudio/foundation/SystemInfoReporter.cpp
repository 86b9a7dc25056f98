#include "QuorlAudio/foundation/SystemInfoReporter.hpp"

#include "QuorlAudio/foundation/AppLogger.hpp"
#include "QuorlAudio/foundation/SystemInfo.hpp"

namespace quorl {

SystemInfoReporter& SystemInfoReporter::shared() {
    static SystemInfoReporter reporter;
    return reporter;
}

void SystemInfoReporter::logIfNeeded(const AppLogger& logger) {
    {
        std::lock_guard lock(mutex_);
        if (didLog_) {
            return;
        }
        didLog_ = true;
    }
    logger.info("Host environment: " + SystemInfo::summary());
}

} // namespace quorl
