#include "QuorlAudio/models/DownloadConfig.hpp"

namespace quorl {

DownloadConfig DownloadConfig::defaultConfig() { return DownloadConfig{.timeout = 1800}; }

} // namespace quorl
