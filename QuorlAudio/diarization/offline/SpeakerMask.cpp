#include "QuorlAudio/diarization/offline/SpeakerMask.hpp"

#include "platform/dsp/Vector.hpp"

#include <algorithm>
#include <cmath>

namespace quorl::SpeakerMask {

std::vector<bool> overlappedFrames(std::span<const float> rowMajor, std::size_t speakers) {
    const std::size_t frames = speakers == 0 ? 0 : rowMajor.size() / speakers;
    std::vector<bool> overlapped(frames, false);
    for (std::size_t frame = 0; frame < frames; ++frame) {
        const auto row = rowMajor.subspan(frame * speakers, speakers);
        overlapped[frame] = std::ranges::count_if(row, [](float weight) { return weight > activityThreshold; }) >= 2;
    }
    return overlapped;
}

std::pair<std::int64_t, std::int64_t> activeExtent(std::span<const float> mask) {
    const auto isActive = [](float weight) { return weight > activityThreshold; };
    const auto first = std::ranges::find_if(mask, isActive);
    if (first == mask.end()) {
        return {0, 0};
    }
    const auto last = std::ranges::find_if(mask.rbegin(), mask.rend(), isActive);
    return {first - mask.begin(), static_cast<std::int64_t>(mask.size()) - 1 - (last - mask.rbegin())};
}

float maskCosineSimilarity(std::span<const float> a, std::span<const float> b) {
    if (a.empty() || a.size() != b.size()) {
        return 0.0f;
    }
    const float denominator = std::sqrt(platform::dsp::dot(a.data(), a.data(), a.size())) *
                              std::sqrt(platform::dsp::dot(b.data(), b.data(), b.size()));
    return denominator > 0 ? platform::dsp::dot(a.data(), b.data(), a.size()) / denominator : 0.0f;
}

} // namespace quorl::SpeakerMask
