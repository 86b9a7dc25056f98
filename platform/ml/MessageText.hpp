#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace platform::ml {

// Pieces of the runtime's error messages, joined without chains of string temporaries.
std::string concat(std::initializer_list<std::string_view> pieces);

// A shape or a list of strides as "[1, 2, 3]".
std::string shapeText(const std::vector<std::size_t>& values);

} // namespace platform::ml
