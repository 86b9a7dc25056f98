#include "QuorlAudio/models/OfflineSwitch.hpp"

#include "QuorlAudio/models/DownloadError.hpp"

namespace quorl {

void OfflineSwitch::refuseWhileOn(const std::string& operation) const {
    if (isOn()) {
        throw DownloadError::networkDisabled(operation);
    }
}

} // namespace quorl
