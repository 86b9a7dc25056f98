#include "platform/core/LittleEndian.hpp"

#include <bit>

namespace platform::core {
namespace {

std::uint32_t unsignedOf(std::string_view bytes, std::size_t offset, std::size_t width) {
    std::uint32_t value = 0;
    for (std::size_t index = width; index-- > 0;) {
        value = value << 8U | static_cast<std::uint8_t>(bytes[offset + index]);
    }
    return value;
}

} // namespace

std::uint16_t littleEndianUInt16(std::string_view bytes, std::size_t offset) {
    return static_cast<std::uint16_t>(unsignedOf(bytes, offset, 2));
}

std::uint32_t littleEndianUInt32(std::string_view bytes, std::size_t offset) { return unsignedOf(bytes, offset, 4); }

float littleEndianFloat32(std::string_view bytes, std::size_t offset) {
    return std::bit_cast<float>(littleEndianUInt32(bytes, offset));
}

namespace {

void appendUnsigned(std::string& bytes, std::uint32_t value, int width) {
    for (int shift = 0; shift < 8 * width; shift += 8) {
        bytes.push_back(static_cast<char>(value >> shift & 0xFFU));
    }
}

} // namespace

void appendLittleEndian(std::string& bytes, std::uint16_t value) { appendUnsigned(bytes, value, 2); }

void appendLittleEndian(std::string& bytes, std::uint32_t value) { appendUnsigned(bytes, value, 4); }

void appendLittleEndian(std::string& bytes, float value) {
    appendLittleEndian(bytes, std::bit_cast<std::uint32_t>(value));
}

} // namespace platform::core
