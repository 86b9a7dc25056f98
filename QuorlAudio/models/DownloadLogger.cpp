#include "QuorlAudio/models/DownloadLogger.hpp"

namespace quorl {

const AppLogger& downloadLogger() {
    static const AppLogger instance("DownloadUtils");
    return instance;
}

} // namespace quorl
