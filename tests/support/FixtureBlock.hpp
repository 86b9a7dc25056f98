#pragma once

#include <cstddef>
#include <istream>
#include <string>
#include <vector>

namespace testsupport {

// A named matrix of a reference fixture, written by the fixture scripts as a line "<name> <rows> <columns>"
// followed by the values row by row.
struct FixtureBlock {
    std::size_t rows = 0;
    std::size_t columns = 0;
    // Row-major.
    std::vector<float> values;
};

// Reads the next block and fails the current test when its name differs or it is cut short.
FixtureBlock readFixtureBlock(std::istream& file, const std::string& expectedName);

} // namespace testsupport
