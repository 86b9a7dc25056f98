#pragma once

#include <string>

namespace quorl {

// `value` with `digits` decimals, as printf's "%.<digits>f" writes it, with a point whatever the locale.
std::string fixedDecimalText(double value, int digits);

} // namespace quorl
