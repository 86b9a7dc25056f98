#include "QuorlAudio/models/DownloadConfig.hpp"

namespace quorl {

DownloadConfig DownloadConfig::defaultConfig() { return DownloadConfig{.timeout = 60}; }

} // namespace quorl
