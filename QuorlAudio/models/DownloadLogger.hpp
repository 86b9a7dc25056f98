#pragma once

#include "QuorlAudio/foundation/AppLogger.hpp"

namespace quorl {

// The one logger of the model cache, the file downloads and the hub, category "DownloadUtils".
const AppLogger& downloadLogger();

} // namespace quorl
