#pragma once

#include "QuorlAudio/diarization/streaming/LSEENDMetadata.hpp"
#include "platform/ml/MultiArray.hpp"

#include <array>
#include <memory>

namespace quorl {

// The six recurrent tensors of an LS-EEND model, 32-bit floats in aligned, row-padded memory. Never duplicated
// by accident: copy() is the only way to a second, independent state.
class LSEENDState {
public:
    using Array = std::shared_ptr<platform::ml::MultiArray>;

    // Zero-filled arrays of the metadata's shapes. Throws LSEENDError::initializationFailed for metadata no
    // model could have, and the allocator's error when memory cannot be had.
    explicit LSEENDState(const LSEENDMetadata& metadata);
    LSEENDState(Array encRetKv, Array encRetScale, Array encConvCache, Array cnnWindow, Array decRetKv,
                Array decRetScale);

    LSEENDState(LSEENDState&&) = default;
    LSEENDState& operator=(LSEENDState&&) = default;
    LSEENDState(const LSEENDState&) = delete;
    LSEENDState& operator=(const LSEENDState&) = delete;

    const Array& encRetKv() const { return arrays_[0]; }
    const Array& encRetScale() const { return arrays_[1]; }
    const Array& encConvCache() const { return arrays_[2]; }
    const Array& cnnWindow() const { return arrays_[3]; }
    const Array& decRetKv() const { return arrays_[4]; }
    const Array& decRetScale() const { return arrays_[5]; }
    // The six arrays in the order above.
    const std::array<Array, 6>& arrays() const { return arrays_; }

    void reset();
    // New aligned arrays holding the same values.
    LSEENDState copy() const;
    // Writes this state's values into the other's arrays.
    void copy(LSEENDState& other) const;

    // The model's input name of each array, in the order above; its output is the name followed by "_new".
    static const std::array<const char*, 6>& inputNames();

private:
    std::array<Array, 6> arrays_;
};

} // namespace quorl
