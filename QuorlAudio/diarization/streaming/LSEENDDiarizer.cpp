#include "QuorlAudio/diarization/streaming/LSEENDDiarizer.hpp"

#include "QuorlAudio/diarization/streaming/LSEENDError.hpp"

#include <algorithm>

namespace quorl {
namespace {

DiarizerTimelineConfig configOrDefault(std::optional<DiarizerTimelineConfig> config) {
    return config ? *config : DiarizerTimelineConfig{.numSpeakers = 1, .frameDurationSeconds = 0.1f};
}

DiarizerTimelineConfig forModel(DiarizerTimelineConfig config, const LSEENDMetadata& metadata) {
    config.numSpeakers = metadata.maxSpeakers;
    config.frameDurationSeconds = metadata.frameDurationSeconds;
    return config;
}

std::shared_ptr<LSEENDModel> cpuOnlyModel(ModelNames::LSEEND::Variant variant, ModelNames::LSEEND::StepSize step) {
    return LSEENDModel::loadFromHuggingFace(LSEENDModel::HubRequest{
        .variant = variant, .stepSize = step, .computeUnits = platform::ml::ComputeUnits::cpuOnly});
}

} // namespace

LSEENDDiarizer::LSEENDDiarizer(std::optional<DiarizerTimelineConfig> timelineConfig)
    : timelineConfig_(configOrDefault(timelineConfig)) {
    timeline_ = std::make_shared<DiarizerTimeline>(timelineConfig_);
}

LSEENDDiarizer::LSEENDDiarizer(std::shared_ptr<LSEENDModel> model, std::optional<DiarizerTimelineConfig> timelineConfig)
    : LSEENDDiarizer(timelineConfig) {
    initialize(std::move(model));
}

LSEENDDiarizer::LSEENDDiarizer(ModelNames::LSEEND::Variant variant, ModelNames::LSEEND::StepSize stepSize,
                               std::optional<DiarizerTimelineConfig> timelineConfig)
    : LSEENDDiarizer(cpuOnlyModel(variant, stepSize), timelineConfig) {}

void LSEENDDiarizer::initialize(std::shared_ptr<LSEENDModel> model) {
    const auto& metadata = model->metadata();
    auto session = std::make_unique<LSEENDFeatureProvider>(metadata);
    auto config = forModel(timelineConfig_, metadata);
    auto timeline = std::make_shared<DiarizerTimeline>(config);
    model_ = std::move(model);
    session_ = std::move(session);
    timelineConfig_ = config;
    timeline_ = std::move(timeline);
    framesFedToModel_ = 0;
    finalized_ = false;
}

void LSEENDDiarizer::initialize(const LSEENDModel::HubRequest& request) {
    initialize(LSEENDModel::loadFromHuggingFace(request));
}

std::optional<std::int64_t> LSEENDDiarizer::targetSampleRate() const {
    return model_ ? std::optional<std::int64_t>(model_->metadata().sampleRate) : std::nullopt;
}

std::optional<double> LSEENDDiarizer::modelFrameHz() const {
    return model_ ? std::optional<double>(1.0 / static_cast<double>(model_->metadata().frameDurationSeconds))
                  : std::nullopt;
}

std::optional<std::int64_t> LSEENDDiarizer::numSpeakers() const {
    return model_ ? std::optional<std::int64_t>(model_->metadata().maxSpeakers) : std::nullopt;
}

LSEENDFeatureProvider& LSEENDDiarizer::requireSession() const {
    if (!session_ || !model_) {
        throw LSEENDError::notInitialized();
    }
    return *session_;
}

void LSEENDDiarizer::addAudio(std::span<const float> samples, std::optional<double> sourceSampleRate) {
    if (samples.empty()) {
        return;
    }
    requireSession().enqueueAudio(samples, sourceSampleRate, true);
}

std::optional<DiarizerTimelineUpdate> LSEENDDiarizer::process() { return flush(true); }

std::optional<DiarizerTimelineUpdate> LSEENDDiarizer::process(std::span<const float> samples,
                                                              std::optional<double> sourceSampleRate) {
    addAudio(samples, sourceSampleRate);
    return process();
}

// The chunks that did run have consumed their audio and moved the model state on; their frames must reach the
// timeline even when a later chunk fails, or they are lost for good. The first error is the one reported.
std::optional<DiarizerTimelineUpdate> LSEENDDiarizer::flush(bool recordFrames,
                                                            const ProgressCallback& progressCallback) {
    requireSession();
    const auto& metadata = model_->metadata();
    std::vector<float> predictions;
    predictions.reserve(static_cast<std::size_t>(session_->readyChunks() * metadata.maxSpeakers * metadata.chunkSize));
    try {
        runChunks(recordFrames, progressCallback, predictions);
    } catch (...) {
        try {
            deliver(predictions);
        } catch (...) {}
        throw;
    }
    return deliver(predictions);
}

void LSEENDDiarizer::runChunks(bool recordFrames, const ProgressCallback& progressCallback,
                               std::vector<float>& predictions) {
    const auto& metadata = model_->metadata();
    const std::int64_t samplesPerChunk = session_->samplesPerChunk();
    const std::int64_t total = session_->readyChunks() * samplesPerChunk;
    std::int64_t chunks = 0;
    while (LSEENDInput* chunk = session_->emitNextChunk()) {
        if (recordFrames) {
            const auto warmup = std::clamp<std::int64_t>(metadata.convDelay - framesFedToModel_, 0, metadata.chunkSize);
            chunk->setWarmupFrames(static_cast<int>(warmup));
            framesFedToModel_ += metadata.chunkSize;
        }
        const auto frames = model_->predict(*chunk);
        predictions.insert(predictions.end(), frames.begin(), frames.end());
        ++chunks;
        if (progressCallback) {
            progressCallback(chunks * samplesPerChunk, total, chunks);
        }
    }
}

std::optional<DiarizerTimelineUpdate> LSEENDDiarizer::deliver(const std::vector<float>& predictions) {
    if (predictions.empty()) {
        return std::nullopt;
    }
    return timeline_->addPredictions(predictions, {});
}

std::optional<DiarizerTimelineUpdate> LSEENDDiarizer::finalizeSession() {
    if (finalized_) {
        return std::nullopt;
    }
    requireSession().drainRightContextWithSilence(true);
    auto update = flush(true);
    timeline_->finalize();
    finalized_ = true;
    return update;
}

void LSEENDDiarizer::restartStream() {
    if (session_) {
        session_->reset();
    }
    framesFedToModel_ = 0;
    finalized_ = false;
}

void LSEENDDiarizer::startCompleteRun(const CompleteOptions& options) {
    requireSession();
    const bool keep = options.keepingEnrolledSpeakers.value_or(!timeline_->hasSegments());
    restartStream();
    timeline_->reset(keep);
}

std::shared_ptr<DiarizerTimeline> LSEENDDiarizer::finishCompleteRun(const CompleteOptions& options) {
    if (options.finalizeOnCompletion) {
        session_->drainRightContextWithSilence(true);
    }
    flush(true, options.progressCallback);
    if (options.finalizeOnCompletion) {
        timeline_->finalize();
        finalized_ = true;
    }
    return timeline_;
}

std::shared_ptr<DiarizerTimeline> LSEENDDiarizer::processComplete(std::span<const float> samples,
                                                                  std::optional<double> sourceSampleRate,
                                                                  const CompleteOptions& options) {
    startCompleteRun(options);
    addAudio(samples, sourceSampleRate);
    return finishCompleteRun(options);
}

std::shared_ptr<DiarizerTimeline> LSEENDDiarizer::processComplete(const std::filesystem::path& audioFile,
                                                                  const CompleteOptions& options) {
    startCompleteRun(options);
    session_->enqueueAudioFile(audioFile);
    return finishCompleteRun(options);
}

void LSEENDDiarizer::reset() {
    restartStream();
    timeline_->reset(false);
}

void LSEENDDiarizer::cleanup() {
    restartStream();
    model_.reset();
    session_.reset();
}

std::shared_ptr<DiarizerSpeaker> LSEENDDiarizer::enrollSpeaker(std::span<const float> audio,
                                                               std::optional<double> sourceSampleRate,
                                                               std::optional<std::string> name,
                                                               bool overwritingAssignedSpeakerName) {
    auto providerSnapshot = requireSession().takeSnapshot();
    const auto timelineSnapshot = timeline_->takeSnapshot();
    const std::int64_t framesBefore = framesFedToModel_;
    const auto restore = [&] {
        session_->rollback(std::move(providerSnapshot), false);
        timeline_->rollback(timelineSnapshot, false);
        framesFedToModel_ = framesBefore;
    };
    if (timeline_->hasSegments()) {
        logger_.warning("Enrolling speaker mid session. The timeline will be reset if successful.");
    }
    std::shared_ptr<DiarizerSpeaker> speaker;
    try {
        std::set<std::int64_t> taken;
        const auto update = runEnrolment(audio, sourceSampleRate, name, taken);
        speaker = nameMostActive(update, taken, name, overwritingAssignedSpeakerName);
    } catch (...) {
        restore();
        throw;
    }
    if (!speaker) {
        restore();
        return nullptr;
    }
    timeline_->reset(true);
    framesFedToModel_ = 0;
    return speaker;
}

// Closes the running stream, so its frames reach the timeline, then runs the enrolment audio with the
// provider's own warm-up and without advancing the stream's frame count.
std::optional<DiarizerTimelineUpdate> LSEENDDiarizer::runEnrolment(std::span<const float> audio,
                                                                   std::optional<double> sourceSampleRate,
                                                                   const std::optional<std::string>& name,
                                                                   std::set<std::int64_t>& taken) {
    session_->drainRightContextWithSilence(true);
    flush(true);
    taken = takenSlots(name);
    session_->enqueueAudio(audio, sourceSampleRate, false);
    session_->drainRightContextWithSilence(true);
    return flush(false);
}

std::set<std::int64_t> LSEENDDiarizer::takenSlots(const std::optional<std::string>& name) const {
    std::set<std::int64_t> taken;
    for (const auto& [slot, speaker] : timeline_->speakers()) {
        if (!name || speaker->name()) {
            taken.insert(slot);
        }
    }
    return taken;
}

std::shared_ptr<DiarizerSpeaker> LSEENDDiarizer::nameMostActive(const std::optional<DiarizerTimelineUpdate>& update,
                                                                const std::set<std::int64_t>& taken,
                                                                const std::optional<std::string>& name,
                                                                bool overwriting) {
    if (!update || update->finalizedSegments.empty()) {
        return nullptr;
    }
    const auto best = bestEnrolmentSlot(enrolmentActivity(*update), taken);
    if (!best || (name && !overwriting && taken.contains(*best))) {
        return nullptr;
    }
    return timeline_->upsertSpeaker(name, *best);
}

std::map<std::int64_t, float> enrolmentActivity(const DiarizerTimelineUpdate& update) {
    std::map<std::int64_t, float> activity;
    for (const auto* segments : {&update.finalizedSegments, &update.tentativeSegments}) {
        for (const auto& segment : *segments) {
            activity[segment.speakerIndex] +=
                segment.activity * static_cast<float>(segment.endFrame - segment.startFrame);
        }
    }
    return activity;
}

std::optional<std::int64_t> bestEnrolmentSlot(const std::map<std::int64_t, float>& activity,
                                              const std::set<std::int64_t>& taken) {
    std::optional<std::int64_t> best;
    float bestTotal = 0;
    for (const auto& [slot, total] : activity) {
        const bool free = !taken.contains(slot);
        const bool bestFree = best && !taken.contains(*best);
        if (!best || (free && !bestFree) || (free == bestFree && total > bestTotal)) {
            best = slot;
            bestTotal = total;
        }
    }
    return best;
}

} // namespace quorl
