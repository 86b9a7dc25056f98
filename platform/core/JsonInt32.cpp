#include "platform/core/JsonInt32.hpp"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <limits>

namespace platform::core {

bool fitsInt32(const nlohmann::json& integer) {
    if (integer.is_number_unsigned()) {
        return integer.get<std::uint64_t>() <= std::numeric_limits<std::int32_t>::max();
    }
    const auto value = integer.get<std::int64_t>();
    return value >= std::numeric_limits<std::int32_t>::min() && value <= std::numeric_limits<std::int32_t>::max();
}

} // namespace platform::core
