#include "QuorlAudio/asr/batch/DualDecodeArbitration.hpp"

#include "QuorlAudio/foundation/ASRConstants.hpp"

#include "platform/core/Task.hpp"

#include <algorithm>
#include <iterator>
#include <utility>

namespace quorl {

namespace {

using Choice = DualDecodeProbe::Choice;

constexpr std::int64_t samplesPerFrame = ASRConstants::samplesPerEncoderFrame;

} // namespace

DualDecodeArbitration::DualDecodeArbitration(Grids grids, int agreementToleranceFrames, DecodeChunk decodeChunk,
                                             AppLogger logger)
    : grids_(std::move(grids)), agreementToleranceFrames_(agreementToleranceFrames),
      decodeChunk_(std::move(decodeChunk)), logger_(std::move(logger)) {}

std::optional<DualDecodeArbitration::ChunkWindow> DualDecodeArbitration::chunkWindow(std::int64_t start,
                                                                                     std::int64_t warmupSamples,
                                                                                     std::int64_t chunkSamples,
                                                                                     std::int64_t totalSamples) {
    const std::int64_t bodySamples = std::max(chunkSamples - warmupSamples, samplesPerFrame);
    const std::int64_t end = std::min(start + bodySamples, totalSamples);
    if (start >= end) {
        return std::nullopt;
    }
    const std::int64_t readStart = start - warmupSamples;
    const std::int64_t sampleCount = end - readStart;
    const bool warmsUp = warmupSamples > 0;
    return ChunkWindow{
        .readStart = readStart,
        .sampleCount = sampleCount,
        .actualAudioFrames = ASRConstants::calculateEncoderFrames(static_cast<int>(sampleCount)),
        .isLastChunk = start + bodySamples >= totalSamples,
        .globalFrameOffset = static_cast<int>(readStart / samplesPerFrame),
        .emitTokensAfterGlobalFrame = warmsUp ? std::optional(static_cast<int>(start / samplesPerFrame)) : std::nullopt,
        .initialTimeIndexOverride = warmsUp ? std::optional(0) : std::nullopt,
    };
}

std::int64_t DualDecodeArbitration::warmupSamples(const ChunkProcessor::ChunkStartDecision& decision) {
    return decision.useWarmupPrefix ? std::min(decision.start, maxWarmupSamples) : 0;
}

std::vector<DualDecodeArbitration::Tokens>
DualDecodeArbitration::run(const ChunkProcessor::ProgressHandler& progressHandler) const {
    const auto chunksInA = static_cast<double>(grids_.a.size());
    const auto reportDone = [&](std::size_t chunks) {
        if (progressHandler) {
            progressHandler(std::min(static_cast<double>(chunks) / chunksInA, 1.0));
        }
    };
    std::vector<Tokens> chunks{decodeChunk_(grids_.a.front().start, 0)};
    reportDone(1);
    const std::size_t probeCount = std::min<std::size_t>(grids_.a.size() - 1, maxProbeChunks);
    Readings readings = probe(probeCount);
    const auto measures = DualDecodeProbe::measures(readings.a, readings.b, readings.c, agreementToleranceFrames_);
    const Choice choice = DualDecodeProbe::decide(measures);
    logger_.debug(DualDecodeProbe::logLine(measures, choice));
    DualDecodeProbe::Reading& chosen =
        choice == Choice::a ? readings.a : (choice == Choice::b ? readings.b : readings.c);
    std::ranges::move(chosen.chunks, std::back_inserter(chunks));
    if (probeCount >= 1) {
        reportDone(probeCount + 1);
    }
    const Decisions& decisions = grid(choice);
    for (std::size_t index = probeCount + 1; index < decisions.size(); ++index) {
        platform::core::Task::checkCancellation();
        const std::int64_t warmup = choice == Choice::b ? warmupSamples(decisions[index]) : 0;
        chunks.push_back(decodeChunk_(decisions[index].start, warmup));
        reportDone(index + 1);
    }
    return chunks;
}

DualDecodeArbitration::Readings DualDecodeArbitration::probe(std::size_t probeCount) const {
    Readings readings;
    if (probeCount >= 1) {
        platform::core::Task::checkCancellation();
    }
    for (std::size_t index = 1; index <= probeCount; ++index) {
        Tokens a = decodeChunk_(grids_.a[index].start, 0);
        Tokens b = readingB(index, a);
        Tokens c = readingC(index, a);
        readings.a.add(std::move(a));
        readings.b.add(std::move(b));
        readings.c.add(std::move(c));
        if (index < probeCount) {
            platform::core::Task::checkCancellation();
        }
    }
    return readings;
}

DualDecodeArbitration::Tokens DualDecodeArbitration::readingB(std::size_t index, const Tokens& readingA) const {
    if (index >= grids_.b.size()) {
        return readingA;
    }
    const auto& decision = grids_.b[index];
    const std::int64_t warmup = warmupSamples(decision);
    if (warmup == 0 && decision.start == grids_.a[index].start) {
        return readingA;
    }
    return decodeChunk_(decision.start, warmup);
}

DualDecodeArbitration::Tokens DualDecodeArbitration::readingC(std::size_t index, const Tokens& readingA) const {
    if (index < grids_.c.size() && grids_.c[index].start != grids_.a[index].start) {
        return decodeChunk_(grids_.c[index].start, 0);
    }
    return readingA;
}

const DualDecodeArbitration::Decisions& DualDecodeArbitration::grid(Choice choice) const {
    switch (choice) {
    case Choice::b: return grids_.b;
    case Choice::c: return grids_.c;
    case Choice::a: break;
    }
    return grids_.a;
}

} // namespace quorl
