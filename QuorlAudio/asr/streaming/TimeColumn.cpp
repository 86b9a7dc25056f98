#include "QuorlAudio/asr/streaming/TimeColumn.hpp"

namespace quorl {

std::shared_ptr<platform::ml::MultiArray> timeColumn(const platform::ml::MultiArray& source, std::size_t t) {
    const std::size_t height = source.shape()[1];
    auto out = std::make_shared<platform::ml::MultiArray>(platform::ml::MultiArray::Shape{1, height, 1},
                                                          platform::ml::DataType::float32);
    const float* in = source.data<float>() + source.strides()[2] * t;
    const std::size_t rowStride = source.strides()[1];
    float* values = out->data<float>();
    for (std::size_t i = 0; i < height; ++i) {
        values[i] = in[rowStride * i];
    }
    return out;
}

} // namespace quorl
