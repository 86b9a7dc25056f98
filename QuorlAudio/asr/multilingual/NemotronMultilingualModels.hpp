#pragma once

#include "platform/ml/Model.hpp"
#include "platform/ml/PredictionOptions.hpp"

#include <cstdint>
#include <memory>
#include <optional>

namespace quorl {

// The models one multilingual stream runs, each with the prediction options that back its fixed-shape
// outputs. Only the encoder is always there; the decoder side is whichever of the fused models the variant
// provides, and the bare decoder and joint when present.
struct NemotronMultilingualModels {
    std::shared_ptr<platform::ml::Model> encoder;
    std::shared_ptr<platform::ml::Model> decoder;
    std::shared_ptr<platform::ml::Model> joint;
    std::shared_ptr<platform::ml::Model> decoderJoint;
    std::shared_ptr<platform::ml::Model> decoderJointArgmax;
    std::shared_ptr<platform::ml::Model> decoderJointNoEncProj;
    std::shared_ptr<platform::ml::Model> jointNoEncProjBatched;
    // Encoder frames per batched-joint call, read from that model's "encoder_proj" input when it is loaded.
    std::int64_t jointNoEncProjBatchedK = 8;

    std::optional<platform::ml::PredictionOptions> encoderPredictionOptions;
    std::optional<platform::ml::PredictionOptions> decoderPredictionOptions;
    std::optional<platform::ml::PredictionOptions> jointPredictionOptions;
    std::optional<platform::ml::PredictionOptions> decoderJointPredictionOptions;
    std::optional<platform::ml::PredictionOptions> decoderJointArgmaxPredictionOptions;
    std::optional<platform::ml::PredictionOptions> decoderJointNoEncProjPredictionOptions;
    std::optional<platform::ml::PredictionOptions> jointNoEncProjBatchedPredictionOptions;
};

} // namespace quorl
