#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace platform::core {

// Fixed-width numbers in the little-endian byte order of the data files, whatever the machine's order. A read
// takes the bytes at `offset`, which the caller has checked lie inside `bytes`.
std::uint16_t littleEndianUInt16(std::string_view bytes, std::size_t offset);
std::uint32_t littleEndianUInt32(std::string_view bytes, std::size_t offset);
// An IEEE 754 single-precision float.
float littleEndianFloat32(std::string_view bytes, std::size_t offset);

void appendLittleEndian(std::string& bytes, std::uint16_t value);
void appendLittleEndian(std::string& bytes, std::uint32_t value);
void appendLittleEndian(std::string& bytes, float value);

} // namespace platform::core
