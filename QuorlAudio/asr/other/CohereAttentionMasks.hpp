#pragma once

#include "platform/ml/DataType.hpp"
#include "platform/ml/MultiArray.hpp"

#include <memory>

namespace quorl {

// The additive attention masks of the Cohere decoder: 0 where attention is allowed, -10000 where it is not,
// in the element type of the decoder's caches.
struct CohereAttentionMasks {
    static constexpr float masked = -10000.0f;

    // [1, 1, 1, encoderSeqLen]: the encoder frames from encoderValid on are padding and masked; a valid count
    // of encoderSeqLen or more masks nothing.
    static std::shared_ptr<platform::ml::MultiArray> buildCrossAttentionMask(int encoderSeqLen, int encoderValid,
                                                                             platform::ml::DataType dtype);

    // The decoder's own positions after `step` are not yet written. A static mask spans the whole cache
    // ([1, 1, 1, maxSeqLen], positions step + 1 on masked); a dynamic one is [1, 1, 1, step + 1], all 0.
    static std::shared_ptr<platform::ml::MultiArray> buildSelfAttentionMask(int step, bool useStatic,
                                                                            platform::ml::DataType dtype);
};

} // namespace quorl
