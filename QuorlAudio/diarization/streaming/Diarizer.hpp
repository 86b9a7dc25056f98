#pragma once

#include "QuorlAudio/diarization/streaming/DiarizerSpeaker.hpp"
#include "QuorlAudio/diarization/streaming/DiarizerTimeline.hpp"
#include "QuorlAudio/diarization/streaming/DiarizerTimelineUpdate.hpp"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace quorl {

// What the streaming end-to-end diarizers have in common, so a caller can drive either the same way: feed
// audio, collect timeline updates, finish a stream, diarize a whole recording, enrol a named speaker, reset
// and release. Samples are mono 32-bit floats; an absent source rate means they are at the model's rate.
// Errors are the diarizer's own and DiarizerTimelineError, passed on unchanged.
class Diarizer {
public:
    // After each model chunk of a whole recording: samples covered so far, samples in all, chunks run so far.
    using ProgressCallback =
        std::function<void(std::int64_t processedSamples, std::int64_t totalSamples, std::int64_t chunks)>;

    struct CompleteOptions {
        // Keep the timeline's speakers (enrolled names survive, their segments are cleared) or drop them;
        // absent lets the diarizer decide.
        std::optional<bool> keepingEnrolledSpeakers{};
        // Leave the timeline finalized, with no tentative predictions or segments.
        bool finalizeOnCompletion = true;
        ProgressCallback progressCallback{};
    };

    virtual ~Diarizer();

    // True exactly while a model is loaded.
    virtual bool isAvailable() const = 0;
    // Output frames of the current stream handed to the timeline as finalized; 0 after a reset.
    virtual std::int64_t numFramesProcessed() const = 0;
    // The model's input rate in Hz.
    virtual std::optional<std::int64_t> targetSampleRate() const = 0;
    // Output frames per second.
    virtual std::optional<double> modelFrameHz() const = 0;
    // Speaker slots of the model's predictions.
    virtual std::optional<std::int64_t> numSpeakers() const = 0;
    // Every update is written into this timeline, and processComplete returns this same object.
    virtual std::shared_ptr<DiarizerTimeline> timeline() const = 0;

    // Buffers audio, converted to the model rate when needed, without running the model.
    virtual void addAudio(std::span<const float> samples, std::optional<double> sourceSampleRate) = 0;
    // Runs every chunk the buffered audio completes; nothing when no frame was finalized.
    virtual std::optional<DiarizerTimelineUpdate> process() = 0;
    // addAudio, then process.
    virtual std::optional<DiarizerTimelineUpdate> process(std::span<const float> samples,
                                                          std::optional<double> sourceSampleRate) = 0;
    // Diarizes a whole recording from a fresh stream.
    virtual std::shared_ptr<DiarizerTimeline> processComplete(std::span<const float> samples,
                                                              std::optional<double> sourceSampleRate,
                                                              const CompleteOptions& options) = 0;
    // The same for an audio file, read and converted to mono at the model rate first.
    virtual std::shared_ptr<DiarizerTimeline> processComplete(const std::filesystem::path& audioFile,
                                                              const CompleteOptions& options) = 0;
    // A new stream: buffers, model state and counts cleared, the timeline reset without its speakers.
    virtual void reset() = 0;
    // Releases the model.
    virtual void cleanup() = 0;
    // Names the slot most active in one person's speech; nothing when no speech or usable slot was found, or
    // when that slot is named already and overwritingAssignedSpeakerName is false. Afterwards the timeline is
    // reset keeping its speakers.
    virtual std::shared_ptr<DiarizerSpeaker> enrollSpeaker(std::span<const float> audio,
                                                           std::optional<double> sourceSampleRate,
                                                           std::optional<std::string> name,
                                                           bool overwritingAssignedSpeakerName) = 0;
    // Processes what is left, finalizes the timeline and ends the stream; nothing when nothing was left or the
    // stream has already ended.
    virtual std::optional<DiarizerTimelineUpdate> finalizeSession() = 0;
};

} // namespace quorl
