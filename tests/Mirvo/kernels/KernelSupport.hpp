#pragma once

// What the transducer and the Paraformer dictation kernels share: reading inputs, decoding a word level and
// registering a kernel class.

#include "tests/Mirvo/kernels/DictationKernels.hpp"

#include "platform/ml/FeatureProvider.hpp"
#include "platform/ml/KernelRegistry.hpp"
#include "platform/ml/ModelError.hpp"
#include "platform/ml/MultiArray.hpp"

#include <cmath>
#include <memory>
#include <optional>
#include <string>

namespace mirvotest::dictation {

// The named multi-array input; a missing or empty one is refused.
inline std::shared_ptr<platform::ml::MultiArray> input(const platform::ml::FeatureProvider& provider,
                                                       const std::string& name) {
    const auto value = provider.featureValue(name);
    auto array = value ? value->multiArrayValue() : nullptr;
    if (array == nullptr || array->count() == 0) {
        throw platform::ml::ModelError::invalidInput(name, "is missing");
    }
    return array;
}

// The word code of a stretch whose least and greatest sample agree (within 1e-3) at a word's level; none for
// silence, a stretch across a word's edge or a level above the last word.
inline std::optional<int> wordAtLevel(double low, double high) {
    constexpr double flatness = 1e-3;
    constexpr double quietestWord = levelStep / 2;
    if (high - low > flatness || low < quietestWord) {
        return std::nullopt;
    }
    const auto code = static_cast<int>(std::lround((low + high) / 2 / levelStep));
    return code <= maxWordCode ? std::optional<int>(code) : std::nullopt;
}

template <class Implementation> platform::ml::KernelFactory factory() {
    return [](const platform::ml::KernelContext&) { return std::make_unique<Implementation>(); };
}

} // namespace mirvotest::dictation
