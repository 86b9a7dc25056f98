#include "QuorlAudio/diarization/streaming/TimelineSegmentBuilder.hpp"

#include <cstddef>

namespace quorl {

namespace {

// One slot's walk over one block, on a working copy of its scratch entry.
class SlotPass {
public:
    struct Limits {
        // The shortest padded segment kept.
        std::int64_t minimumLength;
        // In the finalized pass, a waiting segment that ends before this is final.
        std::int64_t finalBefore;
        // The end given to a run still in progress.
        std::int64_t trailingEnd;
    };

    SlotPass(const DiarizerTimelineConfig& config, const TimelineSegmentBuilder::Pass& pass, const Limits& limits,
             std::int64_t slot, const TimelineSegmentBuilder::Emit& emit)
        : config_(config), pass_(pass), limits_(limits), slot_(slot), emit_(emit),
          evaluate_(evaluationFunction(config.activityType)) {}

    SegmentScratch run(SegmentScratch scratch) {
        w_ = scratch;
        const auto slots = static_cast<std::size_t>(config_.numSpeakers);
        const std::size_t frames = pass_.predictions.size() / slots;
        for (std::size_t row = 0; row < frames; ++row) {
            step(pass_.cursorFrame + static_cast<std::int64_t>(row),
                 pass_.predictions[row * slots + static_cast<std::size_t>(slot_)]);
        }
        endOfBlock();
        return w_;
    }

private:
    // Each frame continues or ends a run, starts one, or changes nothing; the frame that ends a run never
    // starts the next.
    void step(std::int64_t frame, float probability) {
        if (w_.speaking) {
            if (probability >= config_.offsetThreshold) {
                w_.unmergedActiveFrameCount += 1;
                w_.unmergedActivitySum += evaluate_(probability);
            } else {
                endRun(frame);
            }
        } else if (probability > config_.onsetThreshold) {
            startRun(frame, probability);
        }
    }

    void endRun(std::int64_t frame) {
        w_.speaking = false;
        const std::int64_t end = frame + config_.offsetPadFrames;
        if (end >= w_.unmergedStartFrame + limits_.minimumLength) {
            w_.endFrame = end;
            w_.activitySum += w_.unmergedActivitySum;
            w_.activeFrameCount += w_.unmergedActiveFrameCount;
            w_.hasSegment = true;
        } else {
            // Too short: dropped, which brings back a waiting segment the run had bridged to.
            w_.hasSegment = w_.endFrame >= w_.startFrame + limits_.minimumLength;
        }
    }

    void startRun(std::int64_t frame, float probability) {
        const std::int64_t start = frame - config_.onsetPadFrames;
        w_.speaking = true;
        w_.unmergedStartFrame = start;
        w_.unmergedActivitySum = evaluate_(probability);
        w_.unmergedActiveFrameCount = 1;
        if (w_.hasSegment && w_.endFrame + config_.minFramesOff >= start) {
            // Bridged: the run will extend the waiting segment when it ends.
            w_.hasSegment = false;
            return;
        }
        if (w_.hasSegment) {
            emit(w_.startFrame, w_.endFrame, pass_.isFinalized, w_.activitySum, w_.activeFrameCount);
            w_.hasSegment = false;
            w_.activitySum = 0;
            w_.activeFrameCount = 0;
        }
        w_.startFrame = start;
    }

    void endOfBlock() {
        if (w_.hasSegment) {
            if (!pass_.isFinalized) {
                emit(w_.startFrame, w_.endFrame, false, w_.activitySum, w_.activeFrameCount);
            } else if (w_.endFrame < limits_.finalBefore) {
                emit(w_.startFrame, w_.endFrame, true, w_.activitySum, w_.activeFrameCount);
                w_.hasSegment = false;
                w_.activitySum = 0;
                w_.activeFrameCount = 0;
            }
        }
        if (!pass_.isFinalized && pass_.addTrailingTentative && w_.speaking) {
            emitTrailing();
        }
    }

    // The run in progress, joined to the segment it bridges to; or that segment alone while the run is still
    // too short.
    void emitTrailing() {
        const std::int64_t trailingEnd = limits_.trailingEnd;
        if (trailingEnd < w_.startFrame + limits_.minimumLength) {
            return;
        }
        std::int64_t end = w_.endFrame;
        float sum = w_.activitySum;
        std::int64_t count = w_.activeFrameCount;
        if (trailingEnd >= w_.unmergedStartFrame + limits_.minimumLength) {
            end = trailingEnd;
            sum += w_.unmergedActivitySum;
            count += w_.unmergedActiveFrameCount;
        }
        emit(w_.startFrame, end, false, sum, count);
    }

    void emit(std::int64_t start, std::int64_t end, bool finalized, float sum, std::int64_t count) {
        emit_(DiarizerSegment({
            .speakerIndex = slot_,
            .startFrame = start,
            .endFrame = end,
            .finalized = finalized,
            .frameDurationSeconds = config_.frameDurationSeconds,
            .activity = count >= 1 ? sum / static_cast<float>(count) : 0.0f,
        }));
    }

    const DiarizerTimelineConfig& config_;
    const TimelineSegmentBuilder::Pass& pass_;
    const Limits& limits_;
    const std::int64_t slot_;
    const TimelineSegmentBuilder::Emit& emit_;
    const ActivityFunction evaluate_;
    SegmentScratch w_;
};

} // namespace

TimelineSegmentBuilder::TimelineSegmentBuilder(const DiarizerTimelineConfig& config) : config_(config) {}

void TimelineSegmentBuilder::updateSegments(const Pass& pass, std::vector<SegmentScratch>& scratches,
                                            const Emit& emit) const {
    if (pass.predictions.empty() && !pass.addTrailingTentative) {
        return;
    }
    const auto frames = static_cast<std::int64_t>(pass.predictions.size()) / config_.numSpeakers;
    const std::int64_t blockEnd = pass.cursorFrame + frames;
    const SlotPass::Limits limits{
        .minimumLength = config_.onsetPadFrames + config_.offsetPadFrames + config_.minFramesOn,
        .finalBefore = blockEnd - config_.minFramesOff - config_.onsetPadFrames - config_.offsetPadFrames,
        .trailingEnd = blockEnd + config_.offsetPadFrames,
    };
    for (std::int64_t slot = 0; slot < config_.numSpeakers; ++slot) {
        auto& scratch = scratches[static_cast<std::size_t>(slot)];
        const SegmentScratch updated = SlotPass(config_, pass, limits, slot, emit).run(scratch);
        if (pass.isFinalized) {
            scratch = updated;
        }
    }
}

} // namespace quorl
