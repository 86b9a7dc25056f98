#include "QuorlAudio/tts/supertonic3/Supertonic3VectorEstimator.hpp"

#include "platform/core/Concatenated.hpp"

namespace quorl {

Supertonic3VectorEstimator::Supertonic3VectorEstimator(Kind kind, std::optional<Supertonic3Quantization> quantization)
    : kind_(kind), quantization_(quantization) {}

Supertonic3VectorEstimator Supertonic3VectorEstimator::dynamic(Supertonic3Quantization quantization) {
    return {Kind::dynamic, quantization};
}

Supertonic3VectorEstimator Supertonic3VectorEstimator::aneBucketed(Supertonic3Quantization quantization) {
    return {Kind::aneBucketed, quantization};
}

Supertonic3VectorEstimator Supertonic3VectorEstimator::fp16Dynamic() { return {Kind::fp16Dynamic, std::nullopt}; }

Supertonic3VectorEstimator Supertonic3VectorEstimator::defaultEstimator() {
    return aneBucketed(Supertonic3Quantization::int4);
}

std::optional<std::string> Supertonic3VectorEstimator::downloadVariant() const {
    switch (kind_) {
    case Kind::dynamic: return platform::core::concatenated({"dyn-", rawValue(*quantization_)});
    case Kind::aneBucketed: return platform::core::concatenated({"ane-", rawValue(*quantization_)});
    case Kind::fp16Dynamic: return std::nullopt;
    }
    return std::nullopt;
}

} // namespace quorl
