#include "QuorlAudio/asr/batch/TdtStepBuffers.hpp"

#include "QuorlAudio/foundation/ANEMemoryUtils.hpp"
#include "QuorlAudio/foundation/ASRConstants.hpp"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace quorl {

namespace {

using platform::ml::DataType;

std::shared_ptr<platform::ml::MultiArray> aligned(const std::vector<std::size_t>& shape, DataType dataType) {
    return ANEMemoryUtils::createAlignedArray(shape, dataType, true);
}

std::shared_ptr<platform::ml::MultiArray> lengthOfOne() {
    auto array = aligned({1}, DataType::int32);
    array->at<std::int32_t>(0) = 1;
    return array;
}

} // namespace

TdtStepBuffers::TdtStepBuffers(int encoderHiddenSize)
    : targets(aligned({1, 1}, DataType::int32)), targetLength(lengthOfOne()),
      encoderStep(aligned({1, static_cast<std::size_t>(encoderHiddenSize), 1}, DataType::float32)),
      decoderStep(aligned({1, static_cast<std::size_t>(ASRConstants::decoderHiddenSize), 1}, DataType::float32)),
      jointInput(encoderStep, decoderStep), encoderDestPtr(encoderStep->data<float>()),
      encoderDestStride(encoderStep->strides()[1]), tokenIdBacking(aligned({1, 1, 1}, DataType::int32)),
      tokenProbBacking(aligned({1, 1, 1}, DataType::float32)),
      durationBacking(aligned({1, 1, 1}, DataType::int32)), jointBackings{{"token_id", tokenIdBacking},
                                                                          {"token_prob", tokenProbBacking},
                                                                          {"duration", durationBacking}},
      jointOutputs(std::map<std::string, platform::ml::FeatureValue>()),
      decoderBackings{{"h_out", nullptr}, {"c_out", nullptr}}, topK{} {}

} // namespace quorl
