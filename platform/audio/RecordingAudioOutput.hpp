#pragma once

#include "platform/audio/AudioOutput.hpp"

#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

namespace platform::audio {

// An output that plays nothing aloud: it keeps every sound it was asked to play, ends sounds only when told,
// and can be made to refuse starts.
class RecordingAudioOutput final : public AudioOutput {
public:
    struct Playback {
        std::shared_ptr<const PCMBuffer> buffer;
        float volume = 0;
        bool finished = false;
    };

    bool start(std::shared_ptr<const PCMBuffer> buffer, float volume, Completion completion) override;

    // Every started sound, in order.
    std::vector<Playback> playbacks() const;
    // Ends the sound started as number `index`, calling its completion on this thread; nothing for one already
    // ended. Throws std::out_of_range for a number never started.
    void finish(std::size_t index, bool successfully = true);
    void finishAll(bool successfully = true);
    // Makes every later start fail (or succeed again).
    void refuseStarts(bool refuse);

private:
    struct Entry {
        Playback playback;
        Completion completion;
    };

    mutable std::mutex mutex_;
    std::vector<Entry> entries_;
    bool refusing_ = false;
};

} // namespace platform::audio
