#pragma once

#include "QuorlAudio/diarization/chunked/TimedSpeakerSegment.hpp"
#include "QuorlAudio/diarization/offline/OfflineDiarizerConfig.hpp"
#include "QuorlAudio/diarization/offline/SegmentationOutput.hpp"
#include "QuorlAudio/foundation/AppLogger.hpp"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace quorl {

struct ReconstructionFrames;

// The last stage of the offline diarizer: lays the segmentation windows over one frame grid of the whole
// recording, gives each frame as many global clusters as it counts speakers, optionally re-embeds stretches
// where speech was counted but no cluster voted, and turns the frames into cleaned-up speaker turns "S1", "S2",
// … carrying their cluster's centroid. Never fails.
class OfflineReconstruction {
public:
    // The embedding of a stretch of the recording (start and end in seconds), or none when it cannot be had.
    using SpanEmbedder = std::function<std::optional<std::vector<float>>(double startSeconds, double endSeconds)>;

    OfflineReconstruction(OfflineDiarizerConfig config, AppLogger logger);

    // The turns in ascending start order; none for degenerate input. `hardClusters` holds per window and local
    // speaker the global cluster, negative for none. The span embedder is used only when zero-vote
    // re-embedding is enabled and there is a centroid; its vectors must have the centroids' length.
    std::vector<TimedSpeakerSegment> buildSegments(const SegmentationOutput& segmentation,
                                                   const std::vector<std::vector<std::int64_t>>& hardClusters,
                                                   const std::vector<std::vector<double>>& centroids,
                                                   const SpanEmbedder& spanEmbedder = {}) const;

    // Every speaker's mean embedding over its turns, each turn counting once. A turn whose embedding differs in
    // length from the speaker's first is left out.
    std::map<std::string, std::vector<float>>
    buildSpeakerDatabase(const std::vector<TimedSpeakerSegment>& segments) const;

private:
    void logCountHistogram(const ReconstructionFrames& frames) const;
    void applyZeroVoteReembed(ReconstructionFrames& frames, const std::vector<std::vector<double>>& centroids,
                              const SpanEmbedder& spanEmbedder) const;
    std::vector<TimedSpeakerSegment> postProcess(std::vector<TimedSpeakerSegment> segments) const;

    OfflineDiarizerConfig config_;
    AppLogger logger_;
};

} // namespace quorl
