#include "QuorlAudio/diarization/streaming/LSEENDState.hpp"

#include "QuorlAudio/foundation/ANEMemoryUtils.hpp"
#include "QuorlAudio/foundation/MultiArrayReset.hpp"

#include <cstddef>

namespace quorl {
namespace {

using platform::ml::DataType;

LSEENDState::Array zeroed(std::vector<std::size_t> shape) {
    return ANEMemoryUtils::createAlignedArray(shape, DataType::float32, true);
}

LSEENDState::Array copyOf(const platform::ml::MultiArray& array) {
    auto copy = ANEMemoryUtils::createAlignedArray(array.shape(), array.dataType(), true);
    ANEMemoryUtils::strideAwareCopy(array, *copy);
    return copy;
}

std::size_t size(int value) { return static_cast<std::size_t>(value); }

} // namespace

LSEENDState::LSEENDState(const LSEENDMetadata& metadata) {
    metadata.validate();
    const std::size_t heads = size(metadata.nHeads);
    const std::size_t headDim = size(metadata.headDim());
    const std::size_t units = size(metadata.nUnits);
    arrays_ = {
        zeroed({size(metadata.encNLayers), 1, heads, headDim, headDim}),
        zeroed({size(metadata.encNLayers), 1}),
        zeroed({size(metadata.encNLayers), 1, size(metadata.convKernelSize), units}),
        zeroed({1, units, 2 * size(metadata.convDelay)}),
        zeroed({size(metadata.decNLayers), size(metadata.maxNspks), heads, headDim, headDim}),
        zeroed({size(metadata.decNLayers), 1}),
    };
}

LSEENDState::LSEENDState(Array encRetKv, Array encRetScale, Array encConvCache, Array cnnWindow, Array decRetKv,
                         Array decRetScale)
    : arrays_{std::move(encRetKv),  std::move(encRetScale), std::move(encConvCache),
              std::move(cnnWindow), std::move(decRetKv),    std::move(decRetScale)} {}

void LSEENDState::reset() {
    for (const auto& array : arrays_) {
        quorl::reset(*array, 0);
    }
}

LSEENDState LSEENDState::copy() const {
    return LSEENDState(copyOf(*arrays_[0]), copyOf(*arrays_[1]), copyOf(*arrays_[2]), copyOf(*arrays_[3]),
                       copyOf(*arrays_[4]), copyOf(*arrays_[5]));
}

void LSEENDState::copy(LSEENDState& other) const {
    for (std::size_t index = 0; index < arrays_.size(); ++index) {
        ANEMemoryUtils::strideAwareCopy(*arrays_[index], *other.arrays_[index]);
    }
}

const std::array<const char*, 6>& LSEENDState::inputNames() {
    static const std::array<const char*, 6> names{"enc_kv",     "enc_scale", "enc_conv_cache",
                                                  "cnn_window", "dec_kv",    "dec_scale"};
    return names;
}

} // namespace quorl
