#pragma once

#include "QuorlAudio/diarization/chunked/SlidingWindow.hpp"
#include "QuorlAudio/diarization/chunked/TimedSpeakerSegment.hpp"

#include <string>
#include <vector>

namespace quorl {

// Turns one chunk's frame activity into the timed turns of its assigned speakers.
struct TimedSegmentBuilder {
    struct Request {
        // [frame][local speaker], values normally 0 or 1.
        std::vector<std::vector<float>> frames{};
        SlidingWindow slidingWindow{};
        // Per local speaker: its raw embedding, its assigned speaker id (empty for none) and its activity.
        std::vector<std::vector<float>> embeddings{};
        std::vector<std::string> speakerIds{};
        std::vector<float> speakerActivities{};
    };

    // A local speaker below this activity gets no turns.
    float minActiveFramesCount = 10.0f;
    // The shortest turn emitted, in seconds.
    float minSpeechDuration = 1.0f;

    // Runs of frames in which each speaker is active (above 0.3, or above 0.15 while another speaker is above
    // 0.3; NaN frames change nothing), for speakers with an id and an embedding, sorted stably by start time.
    std::vector<TimedSpeakerSegment> createTimedSegments(const Request& request) const;

private:
    std::vector<TimedSpeakerSegment> speakerSegments(const Request& request, std::size_t speaker) const;
    void emit(const Request& request, std::size_t speaker, std::size_t runStart, std::size_t endFrame,
              std::vector<TimedSpeakerSegment>& segments) const;
};

} // namespace quorl
