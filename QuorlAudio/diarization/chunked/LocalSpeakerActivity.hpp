#pragma once

#include <vector>

namespace quorl {

// What one chunk's segmentation says of each local speaker. Frames are [frame][speaker]; the number of speakers is
// that of frame 0.
namespace LocalSpeakerActivity {

using Frames = std::vector<std::vector<float>>;

// One mask per local speaker holding its value in the frames where the frame's values sum below 2, and 0 where
// speakers overlap, so an embedding hears one voice at a time.
std::vector<std::vector<float>> cleanSpeechMasks(const Frames& frames);

// Per local speaker, the sum of its values over all frames.
std::vector<float> calculateSpeakerActivities(const Frames& frames);

} // namespace LocalSpeakerActivity

} // namespace quorl
