#include "platform/sys/FileContents.hpp"

#include <cerrno>
#include <fstream>
#include <iterator>
#include <system_error>

namespace platform::sys {

std::string fileContents(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::string contents{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    if (!file.is_open() || file.bad()) {
        throw std::filesystem::filesystem_error("Cannot read the file", path,
                                                std::error_code(errno, std::generic_category()));
    }
    return contents;
}

} // namespace platform::sys
