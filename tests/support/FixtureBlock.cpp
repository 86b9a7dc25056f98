#include "tests/support/FixtureBlock.hpp"

#include <gtest/gtest.h>

namespace testsupport {

FixtureBlock readFixtureBlock(std::istream& file, const std::string& expectedName) {
    std::string name;
    FixtureBlock block;
    file >> name >> block.rows >> block.columns;
    EXPECT_EQ(name, expectedName);
    block.values.resize(block.rows * block.columns);
    for (float& value : block.values) {
        file >> value;
    }
    EXPECT_TRUE(file) << "fixture block " << expectedName << " is truncated";
    return block;
}

} // namespace testsupport
