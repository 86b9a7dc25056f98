#pragma once

#include "QuorlAudio/asr/batch/TdtEncoderFrameView.hpp"
#include "QuorlAudio/asr/batch/TdtJointDecision.hpp"
#include "QuorlAudio/asr/batch/TdtStepBuffers.hpp"

#include "platform/ml/FeatureProvider.hpp"
#include "platform/ml/Model.hpp"
#include "platform/ml/MultiArray.hpp"
#include "platform/ml/PredictionOptions.hpp"

#include <memory>

namespace quorl {

// Runs the transducer's decoder and joint models for the greedy decoder and checks what they return. Every
// check fails with ASRError::processingFailed; errors of the runtime pass through unchanged.
class TdtModelInference {
public:
    explicit TdtModelInference(std::shared_ptr<platform::ml::PredictionOptions> predictionOptions =
                                   std::make_shared<platform::ml::PredictionOptions>());

    // One prediction whose output backings are `backings` for its duration. The map is lent to the shared
    // options and given back afterwards, even when the prediction fails, so no step builds a dictionary.
    std::shared_ptr<const platform::ml::FeatureProvider> predict(const platform::ml::Model& model,
                                                                 const platform::ml::FeatureProvider& input,
                                                                 TdtStepBuffers::Backings& backings) const;

    // Copies frame `timeIndex` into the buffers' "encoder_step" and asks the joint model, whose "decoder_step"
    // the caller has filled, for its decision; the top-K lists only when `needsTopK`. The outputs land in the
    // buffers' joint outputs, so a kernel that writes into its backings makes the step allocate nothing.
    TdtJointDecision runJointPrepared(const EncoderFrameView& encoderFrames, int timeIndex,
                                      const platform::ml::Model& model, TdtStepBuffers& buffers, bool needsTopK) const;

    // The decision in a joint prediction's outputs, after checking them, its top-K lists read into `topK`. The
    // runtime already refuses outputs that do not fit their backings, so the checks matter for results read
    // without backings.
    static TdtJointDecision readJointDecision(const platform::ml::FeatureProvider& output, bool needsTopK,
                                              TdtStepBuffers::TopKLists& topK);

    // Copies the decoder's "decoder" output, [1, 1, 640] or [1, 640, 1], into `destination` (a [1, 640, 1]
    // 32-bit float array; a new aligned one when null) through both arrays' strides, and returns it.
    static std::shared_ptr<platform::ml::MultiArray>
    normalizeDecoderProjection(const platform::ml::MultiArray& projection,
                               std::shared_ptr<platform::ml::MultiArray> destination = nullptr);

    // Shared by every prediction of a window.
    std::shared_ptr<platform::ml::PredictionOptions> predictionOptions;
};

} // namespace quorl
