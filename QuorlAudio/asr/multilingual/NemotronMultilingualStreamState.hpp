#pragma once

#include "platform/ml/ModelState.hpp"
#include "platform/ml/MultiArray.hpp"

#include <cstdint>
#include <memory>

namespace quorl {

// What a multilingual stream carries from chunk to chunk: the encoder's caches (or the state object of a
// stateful encoder), the mel frames kept for the next chunk, the look-ahead's encoding of the next chunk, and
// the prediction network's recurrent state with the token it has not consumed yet.
struct NemotronMultilingualStreamState {
    // Float32 in the configuration's cache shapes; the length is Int32 [1].
    std::shared_ptr<platform::ml::MultiArray> cacheChannel;
    std::shared_ptr<platform::ml::MultiArray> cacheTime;
    std::shared_ptr<platform::ml::MultiArray> cacheLen;
    std::shared_ptr<platform::ml::ModelState> encoderState;
    std::shared_ptr<platform::ml::MultiArray> melCache;
    std::shared_ptr<platform::ml::MultiArray> prefetchedEncoded;
    std::shared_ptr<platform::ml::MultiArray> prefetchedEncoderProj;
    // Float32 [decoder layers, 1, decoder width] each.
    std::shared_ptr<platform::ml::MultiArray> hState;
    std::shared_ptr<platform::ml::MultiArray> cState;
    std::int32_t lastToken = 0;
};

} // namespace quorl
