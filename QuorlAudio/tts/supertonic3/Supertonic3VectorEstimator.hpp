#pragma once

#include "QuorlAudio/models/ModelNamesSynthesis.hpp"

#include <optional>
#include <string>

namespace quorl {

// Which vector-estimator model a store uses: one quantised model for any latent
// length, one quantised Neural Engine model per latent-length bucket, or the
// plain half-precision model.
class Supertonic3VectorEstimator {
public:
    enum class Kind { dynamic, aneBucketed, fp16Dynamic };

    static Supertonic3VectorEstimator dynamic(Supertonic3Quantization quantization);
    static Supertonic3VectorEstimator aneBucketed(Supertonic3Quantization quantization);
    static Supertonic3VectorEstimator fp16Dynamic();
    // aneBucketed(int4).
    static Supertonic3VectorEstimator defaultEstimator();

    Kind kind() const { return kind_; }
    // None for fp16Dynamic.
    std::optional<Supertonic3Quantization> quantization() const { return quantization_; }
    // What the model catalogue needs to choose the estimator files: "dyn-int8",
    // "ane-int4"; none for the plain one.
    std::optional<std::string> downloadVariant() const;

    bool operator==(const Supertonic3VectorEstimator&) const = default;

private:
    Supertonic3VectorEstimator(Kind kind, std::optional<Supertonic3Quantization> quantization);

    Kind kind_;
    std::optional<Supertonic3Quantization> quantization_;
};

} // namespace quorl
