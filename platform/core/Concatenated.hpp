#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace platform::core {

// The pieces written one after another, in one allocation; reads better than a chain of `+` for messages
// built from several parts.
std::string concatenated(std::initializer_list<std::string_view> pieces);

// The non-empty ones of the two texts, joined by one space; how transcript parts are put together.
std::string joinedNonEmpty(std::string_view first, std::string_view second);

} // namespace platform::core
