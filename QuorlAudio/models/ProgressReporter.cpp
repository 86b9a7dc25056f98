#include "QuorlAudio/models/ProgressReporter.hpp"

#include "platform/core/SaturatingAdd.hpp"

#include <algorithm>

namespace quorl {

FileDownloader::ProgressCallback ProgressReporter::liveBytesCallback(std::int64_t baseBytes, std::int64_t totalBytes,
                                                                     int fileIndex, int totalFiles) const {
    if (!handler) {
        return {};
    }
    return [handler = handler, weight = downloadPhaseWeight, baseBytes, totalBytes, fileIndex,
            totalFiles](std::int64_t bytesWritten, std::int64_t) {
        if (totalBytes < 1) {
            return;
        }
        const double sum = static_cast<double>(platform::core::saturatingAdd(baseBytes, bytesWritten));
        const double ratio = totalFiles < 1 ? 1.0 : std::min(1.0, sum / static_cast<double>(totalBytes));
        handler(DownloadProgress{.fractionCompleted = weight * ratio,
                                 .phase = DownloadPhase::downloading(fileIndex, totalFiles)});
    };
}

} // namespace quorl
