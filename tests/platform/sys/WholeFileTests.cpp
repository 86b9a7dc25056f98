#include "platform/sys/WholeFile.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace platform::sys {
namespace {

namespace fs = std::filesystem;

TEST(WholeFileTests, ReadsEveryByteAndNamesTheFileItCannotRead) {
    const testsupport::TemporaryFolder scratch;
    const fs::path file = scratch.path() / "bytes";
    const std::string bytes("a\0b\r\n\xFF", 6);
    std::ofstream(file, std::ios::binary) << bytes;
    EXPECT_EQ(wholeFile(file), bytes);

    std::ofstream(scratch.path() / "empty");
    EXPECT_EQ(wholeFile(scratch.path() / "empty"), "");

    for (const fs::path& unreadable : {scratch.path() / "absent", scratch.path()}) {
        try {
            wholeFile(unreadable);
            FAIL() << "expected a failure for " << unreadable;
        } catch (const fs::filesystem_error& error) {
            EXPECT_EQ(error.path1(), unreadable);
        }
    }
}

} // namespace
} // namespace platform::sys
