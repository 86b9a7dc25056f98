#pragma once

#include "QuorlAudio/diarization/chunked/TimedSpeakerSegment.hpp"

#include <vector>

namespace quorl {

// The clean-up of the offline diarizer's speaker turns: bridging short gaps of one speaker, dropping turns that
// are too short, and cutting overlaps so that at most one speaker talks at a time.
namespace SegmentPostProcessing {

// Sorted by start (stable), then each turn merged into its predecessor in that order when both have the same
// speaker and the gap between them is at most `gapThreshold` seconds (overlaps included). A merged turn keeps
// the first one's speaker, embedding and start, the later end and the duration-weighted mean score.
std::vector<TimedSpeakerSegment> mergeSegments(std::vector<TimedSpeakerSegment> segments, double gapThreshold);

// Sorted by start (stable), keeping the turns that last at least `minimumDuration` seconds.
std::vector<TimedSpeakerSegment> dropShortSegments(std::vector<TimedSpeakerSegment> segments, float minimumDuration);

// Turns in ascending start order, each starting no earlier than the end of the one kept before it; a turn left
// shorter than `minimumRemainder` seconds is dropped, a shortened one keeps its share of the score.
std::vector<TimedSpeakerSegment> excludeOverlaps(const std::vector<TimedSpeakerSegment>& segments,
                                                 float minimumRemainder);

} // namespace SegmentPostProcessing

} // namespace quorl
