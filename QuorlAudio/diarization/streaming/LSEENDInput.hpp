#pragma once

#include "QuorlAudio/diarization/streaming/LSEENDMetadata.hpp"
#include "QuorlAudio/diarization/streaming/LSEENDState.hpp"
#include "platform/ml/FeatureProvider.hpp"
#include "platform/ml/MultiArray.hpp"
#include "platform/ml/PredictionOptions.hpp"

#include <memory>
#include <optional>
#include <span>

namespace quorl {

// What one LS-EEND prediction reads and writes: the mel chunk, the validity mask and the recurrent state as
// inputs, and output backings that make the model write its probabilities into `outputProbs` and every new
// state tensor over the very array it read, so the state is carried from chunk to chunk without copies. It has
// no lock: its owner fills it and runs the prediction from one thread at a time.
class LSEENDInput : public platform::ml::FeatureProvider {
public:
    // Takes the given state, or makes a zero one. Allocation failures and metadata no model could have are
    // thrown.
    explicit LSEENDInput(const LSEENDMetadata& metadata, std::optional<LSEENDState> state = std::nullopt);

    std::set<std::string> featureNames() const override;
    std::optional<platform::ml::FeatureValue> featureValue(const std::string& name) const override;

    const LSEENDState& state() const { return state_; }
    // Swaps in other arrays; the backings follow.
    void setState(LSEENDState state);
    void resetState();

    // [1, melFrames, nMels], frame-major: the model input "features".
    const std::shared_ptr<platform::ml::MultiArray>& melFeatures() const { return melFeatures_; }
    // [chunkSize]: 1 marks a valid output frame, 0 a warm-up frame ("valid_mask").
    const std::shared_ptr<platform::ml::MultiArray>& decoderMask() const { return decoderMask_; }
    // [1, chunkSize, maxSpeakers], aligned and row-padded: the backing of "probs".
    const std::shared_ptr<platform::ml::MultiArray>& outputProbs() const { return outputProbs_; }
    const platform::ml::PredictionOptions& predictionOptions() const { return predictionOptions_; }

    // Leading output frames of the current chunk that are discarded.
    int warmupFrames() const { return warmupFrames_; }
    void setWarmupFrames(int frames) { warmupFrames_ = frames; }

    // Copies the mask, then the mel frames, in; each must match its array's element count
    // (LSEENDError::invalidInputSize otherwise, the mask already replaced when the mel frames do not fit).
    // Without a warm-up count, the mask's zeros are counted.
    void loadInputs(std::span<const float> melFeatures, std::span<const float> decoderMask,
                    std::optional<int> warmupFrames = std::nullopt);

private:
    void refreshOutputBackings();

    LSEENDState state_;
    std::shared_ptr<platform::ml::MultiArray> melFeatures_;
    std::shared_ptr<platform::ml::MultiArray> decoderMask_;
    std::shared_ptr<platform::ml::MultiArray> outputProbs_;
    platform::ml::PredictionOptions predictionOptions_;
    int warmupFrames_ = 0;
};

// Throws LSEENDError::invalidInputSize ("Input size mismatch: new=<n> expected=<m>") unless the counts agree.
void checkInputSize(std::size_t given, std::size_t expected);

} // namespace quorl
