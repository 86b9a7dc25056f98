#include "QuorlAudio/diarization/streaming/SortformerFeatureLoader.hpp"

#include "QuorlAudio/diarization/streaming/SortformerMelStream.hpp"

#include <algorithm>

namespace quorl {

SortformerFeatureLoader::SortformerFeatureLoader(const SortformerConfig& config, std::span<const float> audio)
    : lc_(config.chunkLeftContext * SortformerConfig::subsamplingFactor),
      rc_(config.chunkRightContext * SortformerConfig::subsamplingFactor),
      chunkLen_(config.chunkLen * SortformerConfig::subsamplingFactor), melFeatures_(SortformerConfig::melFeatures),
      featSeq_(SortformerMelStream::wholeRecording(audio)),
      featLength_(static_cast<int>(featSeq_.size() / static_cast<std::size_t>(melFeatures_))),
      featSeqLength_(featLength_), numChunks_(std::max(0, (featLength_ - rc_) / chunkLen_)) {}

std::optional<SortformerFeatureLoader::Window> SortformerFeatureLoader::next() {
    endFeat_ = std::min(startFeat_ + chunkLen_, featLength_);
    if (startFeat_ >= endFeat_ || endFeat_ + rc_ > featLength_) {
        return std::nullopt;
    }
    const int leftOffset = std::min(startFeat_, lc_);
    const int from = startFeat_ - leftOffset;
    const int to = endFeat_ + rc_;
    const auto values = [this](int frame) {
        return featSeq_.begin() + static_cast<std::ptrdiff_t>(frame) * melFeatures_;
    };
    Window window{.chunkFeatures = std::vector<float>(values(from), values(to)),
                  .chunkLength = std::max(0, std::min(to - from, featSeqLength_ - from)),
                  .leftOffset = leftOffset,
                  .rightOffset = rc_};
    startFeat_ = endFeat_;
    return window;
}

} // namespace quorl
