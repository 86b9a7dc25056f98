#include "platform/core/LittleEndian.hpp"

#include <gtest/gtest.h>

#include <string>

namespace platform::core {
namespace {

TEST(LittleEndianTests, ReadsAndWritesTheLowByteFirst) {
    const std::string bytes("\xFF\x2D\x4E\x00\x00\x00\x00\x80\x3F", 9);
    EXPECT_EQ(littleEndianUInt16(bytes, 1), 0x4E2DU);
    EXPECT_EQ(littleEndianUInt32(bytes, 1), 0x4E2DU);
    EXPECT_EQ(littleEndianUInt32(bytes, 0), 0x004E2DFFU);
    EXPECT_EQ(littleEndianFloat32(bytes, 5), 1.0F);

    std::string written;
    appendLittleEndian(written, std::uint16_t{0x4E2D});
    appendLittleEndian(written, std::uint32_t{0x0001F600});
    appendLittleEndian(written, -2.5F);
    EXPECT_EQ(written, std::string("\x2D\x4E\x00\xF6\x01\x00\x00\x00\x20\xC0", 10));
}

} // namespace
} // namespace platform::core
