#include "QuorlAudio/models/FileError.hpp"

#include <utility>

namespace quorl {

FileError::FileError(Kind kind, std::filesystem::path filePath, const std::string& description)
    : SystemError(errorDomain, static_cast<std::int64_t>(kind), description), filePath_(std::move(filePath)) {}

FileError FileError::fileNoSuchFile(const std::filesystem::path& filePath, const std::string& description) {
    return FileError(Kind::fileNoSuchFile, filePath, description);
}

FileError FileError::fileReadCorruptFile(const std::filesystem::path& filePath, const std::string& description) {
    return FileError(Kind::fileReadCorruptFile, filePath, description);
}

} // namespace quorl
