#pragma once

#include <cstdint>
#include <span>
#include <utility>
#include <vector>

// Per-frame weight masks of one local speaker within a segmentation window: which frames count as active,
// which hold overlapped speech, and how alike two masks are.
namespace quorl::SpeakerMask {

// A weight counts as activity only above this, for overlap detection and for a mask's extent.
inline constexpr float activityThreshold = 0.001f;

// Per frame of a row-major [frames, speakers] matrix, whether two or more speakers are active in it.
std::vector<bool> overlappedFrames(std::span<const float> rowMajor, std::size_t speakers);

// The first and last (inclusive) active frame; (0, 0) when none is.
std::pair<std::int64_t, std::int64_t> activeExtent(std::span<const float> mask);

// Cosine similarity; 0 for an empty mask, masks of different lengths, or a zero mask.
float maskCosineSimilarity(std::span<const float> a, std::span<const float> b);

} // namespace quorl::SpeakerMask
