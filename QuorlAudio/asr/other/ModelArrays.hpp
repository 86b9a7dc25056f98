#pragma once

#include "platform/ml/FeatureValue.hpp"
#include "platform/ml/Model.hpp"
#include "platform/ml/MultiArray.hpp"

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace quorl {

// Making the inputs and reading the outputs of the one-pass recognisers of this area (Paraformer, SenseVoice).

// A zero-filled dense array of 32-bit floats.
std::shared_ptr<platform::ml::MultiArray> float32Zeros(platform::ml::MultiArray::Shape shape);
// A one-element array of 32-bit integers.
std::shared_ptr<platform::ml::MultiArray> int32Scalar(std::int32_t value);
// The elements of a dense 32-bit float array.
std::span<float> floats(platform::ml::MultiArray& array);

// The first `count` elements of the array in row-major order into `destination`, as many as both hold: one block
// copy for dense 32-bit floats, element by element through the strides otherwise.
void copyLeading(const platform::ml::MultiArray& array, std::size_t count, std::span<float> destination);

// The multi-array `output` of one prediction; ASRError::processingFailed("<producer> produced no `<output>`")
// when the answer lacks it. Runtime errors pass through.
std::shared_ptr<platform::ml::MultiArray> predictOutput(const platform::ml::Model& model,
                                                        std::map<std::string, platform::ml::FeatureValue> inputs,
                                                        const std::string& output, std::string_view producer);

} // namespace quorl
