#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace platform::core {

// The pieces written one after another, in one allocation; reads better than a chain of `+` for messages
// built from several parts.
std::string concatenated(std::initializer_list<std::string_view> pieces);

} // namespace platform::core
