#include "platform/sys/WholeFile.hpp"

#include <cerrno>
#include <fstream>
#include <iterator>
#include <system_error>

namespace platform::sys {

std::string wholeFile(const std::filesystem::path& path) {
    std::error_code status;
    if (std::filesystem::is_directory(path, status)) {
        throw std::filesystem::filesystem_error("Cannot read the file", path,
                                                std::make_error_code(std::errc::is_a_directory));
    }
    errno = 0;
    std::ifstream file(path, std::ios::binary);
    std::string contents{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    if (!file.is_open() || file.bad()) {
        const int cause = errno != 0 ? errno : EIO;
        throw std::filesystem::filesystem_error("Cannot read the file", path,
                                                std::error_code(cause, std::generic_category()));
    }
    return contents;
}

} // namespace platform::sys
