#pragma once

#include "QuorlAudio/diarization/offline/TimedEmbedding.hpp"

#include <cstdint>
#include <string>
#include <vector>

namespace quorl {

class AppLogger;

// Writes a run's speaker embeddings to one compact JSON array, an object per embedding with "chunkIndex",
// "speakerIndex", "startFrame", "endFrame", "startTime", "endTime", "embedding256", "rho128" and "cluster" (its
// assignment, −1 past the end of `assignments`). The file at `path` (relative to the current folder) is created
// or overwritten in place; its folder is not created. A value that is not finite fails the export with a
// platform::core::SystemError of domain "JSONEncoding" before the file is touched; a failed write throws the
// POSIX error. Logs "Exported <n> embeddings to <path>" on success only.
void exportEmbeddings(const std::vector<TimedEmbedding>& embeddings, const std::vector<std::int64_t>& assignments,
                      const std::string& path, const AppLogger& logger);

} // namespace quorl
