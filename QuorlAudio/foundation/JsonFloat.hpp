#pragma once

#include <nlohmann/json_fwd.hpp>

namespace quorl {

// A 32-bit float as a JSON number that prints in the float's shortest decimal form, so that 0.1f is written
// as 0.1 rather than as the nearest double's 0.10000000149011612.
nlohmann::json jsonFloat(float value);

} // namespace quorl
