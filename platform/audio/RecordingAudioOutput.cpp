#include "platform/audio/RecordingAudioOutput.hpp"

#include "platform/core/Concatenated.hpp"

#include <stdexcept>
#include <string>

namespace platform::audio {

bool RecordingAudioOutput::start(std::shared_ptr<const PCMBuffer> buffer, float volume, Completion completion) {
    std::lock_guard lock(mutex_);
    if (refusing_) {
        return false;
    }
    entries_.push_back(Entry{.playback = Playback{.buffer = std::move(buffer), .volume = volume, .finished = false},
                             .completion = std::move(completion)});
    return true;
}

std::vector<RecordingAudioOutput::Playback> RecordingAudioOutput::playbacks() const {
    std::lock_guard lock(mutex_);
    std::vector<Playback> playbacks;
    for (const Entry& entry : entries_) {
        playbacks.push_back(entry.playback);
    }
    return playbacks;
}

void RecordingAudioOutput::finish(std::size_t index, bool successfully) {
    Completion completion;
    {
        std::lock_guard lock(mutex_);
        if (index >= entries_.size()) {
            throw std::out_of_range(core::concatenated({"No sound was started as number ", std::to_string(index)}));
        }
        Entry& entry = entries_[index];
        if (entry.playback.finished) {
            return;
        }
        entry.playback.finished = true;
        // Released here, as a device lets go of a sound it has played.
        completion = std::move(entry.completion);
        entry.completion = nullptr;
    }
    completion(successfully);
}

void RecordingAudioOutput::finishAll(bool successfully) {
    std::vector<Completion> completions;
    {
        std::lock_guard lock(mutex_);
        for (Entry& entry : entries_) {
            if (!entry.playback.finished) {
                entry.playback.finished = true;
                completions.push_back(std::move(entry.completion));
                entry.completion = nullptr;
            }
        }
    }
    for (const Completion& completion : completions) {
        completion(successfully);
    }
}

void RecordingAudioOutput::refuseStarts(bool refuse) {
    std::lock_guard lock(mutex_);
    refusing_ = refuse;
}

} // namespace platform::audio
