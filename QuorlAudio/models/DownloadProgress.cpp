#include "QuorlAudio/models/DownloadProgress.hpp"

#include <utility>

namespace quorl {

DownloadPhase DownloadPhase::downloading(int completedFiles, int totalFiles) {
    DownloadPhase phase(Kind::downloading);
    phase.completedFiles_ = completedFiles;
    phase.totalFiles_ = totalFiles;
    return phase;
}

DownloadPhase DownloadPhase::compiling(std::string modelName) {
    DownloadPhase phase(Kind::compiling);
    phase.modelName_ = std::move(modelName);
    return phase;
}

DownloadPhase DownloadPhase::listing() { return DownloadPhase(Kind::listing); }

} // namespace quorl
