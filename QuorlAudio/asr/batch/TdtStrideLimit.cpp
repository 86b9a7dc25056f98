#include "QuorlAudio/asr/batch/TdtStrideLimit.hpp"

#include <cstdint>
#include <limits>

namespace quorl {

bool fitsInt32(std::size_t value) {
    return value <= static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max());
}

} // namespace quorl
