#include "QuorlAudio/tts/supertonic3/Supertonic3MultiArray.hpp"

#include "QuorlAudio/tts/supertonic3/Supertonic3Error.hpp"
#include "platform/core/CheckedProduct.hpp"
#include "platform/ml/MultiArrayFloats.hpp"
#include "platform/text/TextPieces.hpp"

#include <algorithm>
#include <string>

namespace quorl::Supertonic3MultiArray {
namespace {

using platform::ml::DataType;
using platform::ml::MultiArray;

std::string shapeText(const std::vector<std::size_t>& shape) {
    const std::vector<std::int64_t> dims(shape.begin(), shape.end());
    return platform::text::bracketedList(dims);
}

// The number of elements of the shape; none for an empty shape, as the runtime's arrays have.
std::size_t elementCount(const std::vector<std::size_t>& shape, const std::string& stage, std::size_t values) {
    std::size_t count = shape.empty() ? 0 : 1;
    for (const std::size_t dimension : shape) {
        count = platform::core::checkedProduct(count, dimension, [&] {
            return Supertonic3Error::invalidTensorShape(
                stage, "a shape that fits in memory (shape " + shapeText(shape) + ")", std::to_string(values));
        });
    }
    return count;
}

template <class Element>
std::shared_ptr<MultiArray> make(std::span<const Element> values, const std::vector<std::size_t>& shape,
                                 DataType dataType, const std::string& stage) {
    const std::size_t count = elementCount(shape, stage, values.size());
    if (count != values.size()) {
        throw Supertonic3Error::invalidTensorShape(stage, std::to_string(count) + " (shape " + shapeText(shape) + ")",
                                                   std::to_string(values.size()));
    }
    auto array = std::make_shared<MultiArray>(shape, dataType);
    std::ranges::copy(values, array->data<Element>());
    return array;
}

} // namespace

std::shared_ptr<MultiArray> makeFloat32(std::span<const float> values, const std::vector<std::size_t>& shape) {
    return make(values, shape, DataType::float32, "makeFloat32");
}

std::shared_ptr<MultiArray> makeInt32(std::span<const std::int32_t> values, const std::vector<std::size_t>& shape) {
    return make(values, shape, DataType::int32, "makeInt32");
}

std::vector<float> extractFloats(const MultiArray& array) { return platform::ml::floatElements(array); }

} // namespace quorl::Supertonic3MultiArray
