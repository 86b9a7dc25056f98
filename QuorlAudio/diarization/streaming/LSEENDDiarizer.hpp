#pragma once

#include "QuorlAudio/diarization/streaming/Diarizer.hpp"
#include "QuorlAudio/diarization/streaming/DiarizerTimelineConfig.hpp"
#include "QuorlAudio/diarization/streaming/LSEENDFeatureProvider.hpp"
#include "QuorlAudio/diarization/streaming/LSEENDModel.hpp"
#include "QuorlAudio/foundation/AppLogger.hpp"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>

namespace quorl {

// The streaming diarizer built on LS-EEND: audio goes into the feature provider, every complete chunk runs
// through the model with its recurrent state carried in place, and the usable frames reach the timeline as
// finalized predictions; LS-EEND never produces tentative ones. The first convDelay output frames of a stream
// are the model's warm-up and are dropped.
//
// It has no lock of its own: one diarizer is driven from one thread at a time, while its timeline may be read
// from any thread.
class LSEENDDiarizer : public Diarizer {
public:
    // Without a configuration: one speaker, frames of 0.1 s, thresholds 0.5 and no padding; an attached model
    // replaces the speaker count and frame duration with its own.
    explicit LSEENDDiarizer(std::optional<DiarizerTimelineConfig> timelineConfig = std::nullopt);
    LSEENDDiarizer(std::shared_ptr<LSEENDModel> model, std::optional<DiarizerTimelineConfig> timelineConfig);
    // The variant's bundle at the step from the default cache, run on the CPU only.
    LSEENDDiarizer(ModelNames::LSEEND::Variant variant, ModelNames::LSEEND::StepSize stepSize,
                   std::optional<DiarizerTimelineConfig> timelineConfig = std::nullopt);

    // Attaches a model with a new timeline and a new stream; on an error the diarizer stays as it was.
    void initialize(std::shared_ptr<LSEENDModel> model);
    void initialize(const LSEENDModel::HubRequest& request);

    bool isAvailable() const override { return model_ != nullptr; }
    std::int64_t numFramesProcessed() const override { return timeline_->numFinalizedFrames(); }
    std::optional<std::int64_t> targetSampleRate() const override;
    std::optional<double> modelFrameHz() const override;
    std::optional<std::int64_t> numSpeakers() const override;
    std::shared_ptr<DiarizerTimeline> timeline() const override { return timeline_; }
    void setTimeline(std::shared_ptr<DiarizerTimeline> timeline) { timeline_ = std::move(timeline); }

    void addAudio(std::span<const float> samples, std::optional<double> sourceSampleRate) override;
    std::optional<DiarizerTimelineUpdate> process() override;
    std::optional<DiarizerTimelineUpdate> process(std::span<const float> samples,
                                                  std::optional<double> sourceSampleRate) override;
    std::shared_ptr<DiarizerTimeline> processComplete(std::span<const float> samples,
                                                      std::optional<double> sourceSampleRate,
                                                      const CompleteOptions& options) override;
    std::shared_ptr<DiarizerTimeline> processComplete(const std::filesystem::path& audioFile,
                                                      const CompleteOptions& options) override;
    void reset() override;
    // Releases the model; the timeline with its segments and speakers stays readable.
    void cleanup() override;
    // The slot most active in the enrolment audio, preferring one that carries no name yet (with a name) or no
    // speaker yet (without one). Any failure, an error included, leaves provider, model state, timeline and
    // warm-up count as they were.
    std::shared_ptr<DiarizerSpeaker> enrollSpeaker(std::span<const float> audio, std::optional<double> sourceSampleRate,
                                                   std::optional<std::string> name,
                                                   bool overwritingAssignedSpeakerName) override;
    // Appends the silence that pushes the last audio through the model's delays, then finalizes the timeline.
    std::optional<DiarizerTimelineUpdate> finalizeSession() override;

private:
    LSEENDFeatureProvider& requireSession() const;
    std::optional<DiarizerTimelineUpdate> flush(bool recordFrames, const ProgressCallback& progressCallback = {});
    void runChunks(bool recordFrames, const ProgressCallback& progressCallback, std::vector<float>& predictions);
    std::optional<DiarizerTimelineUpdate> deliver(const std::vector<float>& predictions);
    void startCompleteRun(const CompleteOptions& options);
    std::shared_ptr<DiarizerTimeline> finishCompleteRun(const CompleteOptions& options);
    void restartStream();
    std::optional<DiarizerTimelineUpdate> runEnrolment(std::span<const float> audio,
                                                       std::optional<double> sourceSampleRate,
                                                       const std::optional<std::string>& name,
                                                       std::set<std::int64_t>& taken);
    std::set<std::int64_t> takenSlots(const std::optional<std::string>& name) const;
    std::shared_ptr<DiarizerSpeaker> nameMostActive(const std::optional<DiarizerTimelineUpdate>& update,
                                                    const std::set<std::int64_t>& taken,
                                                    const std::optional<std::string>& name, bool overwriting);

    std::shared_ptr<LSEENDModel> model_;
    std::unique_ptr<LSEENDFeatureProvider> session_;
    std::shared_ptr<DiarizerTimeline> timeline_;
    std::int64_t framesFedToModel_ = 0;
    DiarizerTimelineConfig timelineConfig_;
    bool finalized_ = false;
    const AppLogger logger_{"LSEENDDiarizer"};
};

// Speech per slot in an update: each segment's activity times its length in frames, finalized segments first.
std::map<std::int64_t, float> enrolmentActivity(const DiarizerTimelineUpdate& update);
// The slot with the most activity, a slot outside `taken` beating any taken one; on an exact tie the slot
// examined first (the lowest) stays. Nothing without activity.
std::optional<std::int64_t> bestEnrolmentSlot(const std::map<std::int64_t, float>& activity,
                                              const std::set<std::int64_t>& taken);

} // namespace quorl
