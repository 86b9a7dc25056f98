#include "QuorlAudio/diarization/chunked/LocalSpeakerActivity.hpp"

#include <cstddef>

namespace quorl::LocalSpeakerActivity {
namespace {

std::size_t speakerCountOf(const Frames& frames) { return frames.empty() ? 0 : frames.front().size(); }

float frameSum(const std::vector<float>& frame) {
    float sum = 0;
    for (const float value : frame) {
        sum += value;
    }
    return sum;
}

// A speaker's value in a frame; frames narrower than frame 0 count as silent there.
float valueOf(const std::vector<float>& frame, std::size_t speaker) {
    return speaker < frame.size() ? frame[speaker] : 0.0f;
}

} // namespace

std::vector<std::vector<float>> cleanSpeechMasks(const Frames& frames) {
    std::vector<std::vector<float>> masks(speakerCountOf(frames), std::vector<float>(frames.size(), 0.0f));
    for (std::size_t frame = 0; frame < frames.size(); ++frame) {
        if (frameSum(frames[frame]) >= 2.0f) {
            continue;
        }
        for (std::size_t speaker = 0; speaker < masks.size(); ++speaker) {
            masks[speaker][frame] = valueOf(frames[frame], speaker);
        }
    }
    return masks;
}

std::vector<float> calculateSpeakerActivities(const Frames& frames) {
    std::vector<float> activities(speakerCountOf(frames), 0.0f);
    for (const auto& frame : frames) {
        for (std::size_t speaker = 0; speaker < activities.size(); ++speaker) {
            activities[speaker] += valueOf(frame, speaker);
        }
    }
    return activities;
}

} // namespace quorl::LocalSpeakerActivity
