#pragma once

#include <nlohmann/json_fwd.hpp>

namespace platform::core {

// Whether a JSON integer (signed or unsigned) lies in the range of a 32-bit signed integer, so that ids read
// from a model's vocabulary file can be carried as the 32-bit values the models take.
bool fitsInt32(const nlohmann::json& integer);

} // namespace platform::core
