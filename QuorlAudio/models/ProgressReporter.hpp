#pragma once

#include "QuorlAudio/models/DownloadProgress.hpp"
#include "QuorlAudio/models/FileDownloader.hpp"

#include <cstdint>

namespace quorl {

// Turns the byte counts of the file being downloaded into progress of the whole download.
struct ProgressReporter {
    // Where reports go; none means nothing is reported.
    ProgressHandler handler;
    // The share of the overall fraction the download stands for: 0.5 when loading follows, else 1.0.
    double downloadPhaseWeight = 1.0;

    // A byte callback for file number `fileIndex` (from 0) of `totalFiles`, after `baseBytes` of earlier
    // files out of `totalBytes` in all; none without a handler. The file being downloaded does not yet
    // count as completed, and nothing is reported when the total is unknown.
    FileDownloader::ProgressCallback liveBytesCallback(std::int64_t baseBytes, std::int64_t totalBytes, int fileIndex,
                                                       int totalFiles) const;
};

} // namespace quorl
