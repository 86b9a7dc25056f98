#include "tests/support/FileContents.hpp"

#include <fstream>
#include <iterator>

namespace testsupport {

std::string fileContents(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

std::string letterPattern(std::size_t size) {
    std::string text;
    text.reserve(size);
    for (std::size_t index = 0; index < size; ++index) {
        text.push_back(static_cast<char>('a' + index % 26));
    }
    return text;
}

} // namespace testsupport
