#pragma once

#include "QuorlAudio/diarization/offline/OfflineDiarizerConfig.hpp"
#include "QuorlAudio/diarization/offline/OfflineDiarizerModels.hpp"
#include "QuorlAudio/foundation/AppLogger.hpp"

namespace quorl {

// Runs each model of a freshly loaded set once on one window of silence, so that the first real run does not
// pay the first prediction's costs: the segmentation model, then the whole embedding stack (filterbank,
// embedding and PLDA). Best effort: a failure is logged at debug level and never thrown.
void prewarmOfflineModels(const OfflineDiarizerModels& models, const OfflineDiarizerConfig& config,
                          const AppLogger& logger);

} // namespace quorl
