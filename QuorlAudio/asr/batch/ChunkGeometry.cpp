#include "QuorlAudio/asr/batch/ChunkGeometry.hpp"

#include "QuorlAudio/foundation/ASRConstants.hpp"
#include "platform/dsp/Vector.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace quorl {
namespace {

constexpr std::int64_t frameSamples = ASRConstants::samplesPerEncoderFrame;
// Seconds become samples at the recognition rate, whatever rate the recogniser is configured with.
constexpr double samplesPerSecond = 16000;
// A start at most this far into the previous chunk's audio still leaves it six frames (0.48 s) of overlap.
constexpr std::int64_t minimumTrailingOverlapSamples = 6 * frameSamples;
constexpr std::int64_t wideSearchFrames = 50;
constexpr std::int64_t narrowSearchFrames = 6;
// How far below the median of the searched windows the quietest one must be to count as a pause.
constexpr double wideSearchRatio = 0.05;
constexpr double narrowSearchRatio = 0.35;

std::int64_t wholeFrames(std::int64_t samples) { return samples / frameSamples * frameSamples; }

// Mean square of the samples in [from, to), clamped to the recording; reads only that stretch.
class WindowEnergy {
public:
    WindowEnergy(const AudioSampleSource* source, std::int64_t totalSamples)
        : source_(source), totalSamples_(totalSamples) {}

    float operator()(std::int64_t from, std::int64_t to) {
        from = std::clamp<std::int64_t>(from, 0, totalSamples_);
        to = std::clamp<std::int64_t>(to, 0, totalSamples_);
        if (to <= from) {
            return 0;
        }
        const auto count = static_cast<std::size_t>(to - from);
        buffer_.assign(count, 0.0f);
        source_->copySamples(buffer_.data(), from, to - from);
        return platform::dsp::dot(buffer_.data(), buffer_.data(), count) / static_cast<float>(count);
    }

private:
    const AudioSampleSource* source_;
    std::int64_t totalSamples_;
    std::vector<float> buffer_;
};

// Candidate chunk starts on the frame boundaries near a nominal boundary.
struct BoundarySearch {
    std::int64_t firstFrame = 0;
    std::int64_t lastFrame = 0;
    // Candidates must lie after the previous start and no later than this.
    std::int64_t previousStart = 0;
    std::int64_t latestStart = 0;
};

// The quietest candidate (the earliest among equals) when it is quiet enough against the median of all
// candidates; none otherwise, also when no frame qualified.
std::optional<std::int64_t> quietestBoundary(const BoundarySearch& search, double ratio, WindowEnergy& energy) {
    std::vector<float> energies;
    std::int64_t best = 0;
    float bestEnergy = 0;
    for (std::int64_t frame = search.firstFrame; frame <= search.lastFrame; ++frame) {
        const std::int64_t position = frame * frameSamples;
        if (position <= search.previousStart || position > search.latestStart) {
            continue;
        }
        // A 160 ms window centred on the frame boundary.
        const float candidate = energy(position - frameSamples, position + frameSamples);
        if (energies.empty() || candidate < bestEnergy) {
            best = position;
            bestEnergy = candidate;
        }
        energies.push_back(candidate);
    }
    if (energies.empty()) {
        return std::nullopt;
    }
    const auto middle = energies.begin() + static_cast<std::ptrdiff_t>(energies.size() / 2);
    std::ranges::nth_element(energies, middle);
    const double median = *middle;
    const bool quiet = median > 0 ? bestEnergy <= ratio * median : bestEnergy <= 0;
    return quiet ? std::optional(best) : std::nullopt;
}

} // namespace

ChunkGeometry::ChunkLayout ChunkGeometry::chunkLayout(bool melChunkContext,
                                                      std::optional<AsrModelVersion> modelVersion) const {
    const std::int64_t context = melChunkContext ? melContextSamples : 0;
    const std::int64_t raw = ASRConstants::maxModelSamples - context - ASRConstants::melHopSize;
    const std::int64_t chunkSamples = wholeFrames(std::max(raw, frameSamples));
    const bool warmup = !melChunkContext && modelVersion == AsrModelVersion::v3;
    return ChunkLayout{
        .chunkSamples = chunkSamples,
        .strideSamples = strideSamples(chunkSamples),
        .melContextSamples = context,
        .warmupPrefixSamples = warmup ? std::int64_t{noMelWarmupPrefixFrames} * frameSamples : 0,
    };
}

std::int64_t ChunkGeometry::strideSamples(std::int64_t chunkSamples) const {
    const std::int64_t halfChunk = chunkSamples / 2;
    const double overlap = overlapSeconds * samplesPerSecond;
    // A negative or undefined overlap counts as none, so no audio between two chunks goes untranscribed; the
    // cap at half a chunk keeps an infinite one in range.
    const std::int64_t overlapSamples =
        overlap > 0 ? static_cast<std::int64_t>(std::min(overlap, static_cast<double>(halfChunk))) : 0;
    const std::int64_t stride = chunkSamples - wholeFrames(overlapSamples);
    return wholeFrames(std::max(stride, frameSamples));
}

std::vector<ChunkGeometry::ChunkStartDecision> ChunkGeometry::regularChunkStarts(std::int64_t strideSamples) const {
    std::vector<ChunkStartDecision> starts{ChunkStartDecision{.start = 0, .useWarmupPrefix = false}};
    // A stride that does not advance would never end the list.
    for (std::int64_t start = strideSamples; strideSamples > 0 && start < totalSamples; start += strideSamples) {
        starts.push_back(ChunkStartDecision{.start = start, .useWarmupPrefix = false});
    }
    return starts;
}

// A start on a quiet boundary needs no warm-up prefix, and a start the search could not place is decoded as
// on the regular grid; so every decision's flag stays false whatever the caller allows.
std::vector<ChunkGeometry::ChunkStartDecision>
ChunkGeometry::silenceAlignedChunkStarts(std::int64_t chunkSamples, std::int64_t strideSamples,
                                         bool /*canUseWarmupPrefix*/) const {
    std::vector<ChunkStartDecision> starts{ChunkStartDecision{.start = 0, .useWarmupPrefix = false}};
    WindowEnergy energy(sampleSource.get(), totalSamples);
    const std::int64_t lastFrame = (totalSamples - 1) / frameSamples;
    std::int64_t previous = 0;
    for (std::int64_t nominal = strideSamples; strideSamples > 0 && nominal < totalSamples; nominal += strideSamples) {
        const std::int64_t frame = nominal / frameSamples;
        const std::int64_t latest = previous + chunkSamples - minimumTrailingOverlapSamples;
        const std::int64_t fallback = std::min(latest, std::max(frame * frameSamples, previous + frameSamples));
        const auto search = [&](std::int64_t reach) {
            return BoundarySearch{.firstFrame = std::max<std::int64_t>(1, frame - reach),
                                  .lastFrame = std::min(frame + reach, lastFrame),
                                  .previousStart = previous,
                                  .latestStart = latest};
        };
        std::optional<std::int64_t> quiet = quietestBoundary(search(wideSearchFrames), wideSearchRatio, energy);
        if (!quiet) {
            quiet = quietestBoundary(search(narrowSearchFrames), narrowSearchRatio, energy);
        }
        std::int64_t start = quiet.value_or(fallback);
        if (start <= previous) {
            start = std::min(totalSamples, previous + strideSamples);
        }
        starts.push_back(ChunkStartDecision{.start = start, .useWarmupPrefix = false});
        previous = start;
    }
    return starts;
}

} // namespace quorl
