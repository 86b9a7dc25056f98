#include "Mirvo/ParaformerChunker.hpp"

#include <algorithm>
#include <utility>

namespace mirvo {

void ParaformerChunker::begin() {
    pcmSamples_.clear();
    overflowSamples_.clear();
    committedText_.clear();
    flushingChunk_ = false;
    isListening_ = true;
    ++generation_;
}

std::optional<ParaformerChunker::Chunk> ParaformerChunker::append(std::span<const float> samples) {
    if (!isListening_ || samples.empty()) {
        return std::nullopt;
    }
    const std::size_t room = chunkSamples - std::min(pcmSamples_.size(), chunkSamples);
    if (samples.size() <= room) {
        pcmSamples_.insert(pcmSamples_.end(), samples.begin(), samples.end());
        return std::nullopt;
    }
    pcmSamples_.insert(pcmSamples_.end(), samples.begin(), samples.begin() + static_cast<std::ptrdiff_t>(room));
    const auto rest = samples.subspan(room);
    if (flushingChunk_) {
        keepInOverflow(rest);
        return std::nullopt;
    }
    return handOver(std::vector<float>(rest.begin(), rest.end()));
}

std::optional<ParaformerChunker::Chunk> ParaformerChunker::finishChunk(std::uint64_t generation,
                                                                       const std::optional<std::string>& text) {
    if (generation != generation_) {
        return std::nullopt;
    }
    if (text) {
        committedText_ = joinUtterance(committedText_, *text);
    }
    flushingChunk_ = false;
    if (isListening_ && pcmSamples_.size() >= chunkSamples) {
        return handOver(std::exchange(overflowSamples_, {}));
    }
    return std::nullopt;
}

ParaformerChunker::Ending ParaformerChunker::end() {
    Ending ending{.wasListening = isListening_, .committedText = std::exchange(committedText_, {}), .remainder = {}};
    isListening_ = false;
    ending.remainder = std::exchange(pcmSamples_, {});
    ending.remainder.insert(ending.remainder.end(), overflowSamples_.begin(), overflowSamples_.end());
    overflowSamples_.clear();
    return ending;
}

std::vector<std::span<const float>> ParaformerChunker::pieces(std::span<const float> samples) {
    std::vector<std::span<const float>> cut;
    for (std::size_t start = 0; start < samples.size(); start += chunkSamples) {
        cut.push_back(samples.subspan(start, std::min(chunkSamples, samples.size() - start)));
    }
    return cut;
}

std::string ParaformerChunker::joinUtterance(const std::string& first, const std::string& second) {
    if (first.empty()) {
        return second;
    }
    if (second.empty()) {
        return first;
    }
    return first + " " + second;
}

ParaformerChunker::Chunk ParaformerChunker::handOver(std::vector<float> rest) {
    flushingChunk_ = true;
    return Chunk{.samples = std::exchange(pcmSamples_, std::move(rest)), .generation = generation_};
}

void ParaformerChunker::keepInOverflow(std::span<const float> samples) {
    const std::size_t room = overflowLimit - std::min(overflowSamples_.size(), overflowLimit);
    const std::size_t kept = std::min(room, samples.size());
    overflowSamples_.insert(overflowSamples_.end(), samples.begin(),
                            samples.begin() + static_cast<std::ptrdiff_t>(kept));
}

} // namespace mirvo
