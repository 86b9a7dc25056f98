#pragma once

#include "platform/core/SystemError.hpp"

#include <filesystem>
#include <string>

namespace quorl {

// A file-system condition the toolkit detects itself rather than receives from a failed call: the
// platform's file-error family (its domain and codes), carrying the path concerned.
class FileError : public platform::core::SystemError {
public:
    enum class Kind { fileNoSuchFile = 4, fileReadCorruptFile = 259 };

    static constexpr const char* errorDomain = "NSCocoaErrorDomain";

    static FileError fileNoSuchFile(const std::filesystem::path& filePath, const std::string& description);
    static FileError fileReadCorruptFile(const std::filesystem::path& filePath, const std::string& description);

    Kind kind() const { return static_cast<Kind>(code()); }
    const std::filesystem::path& filePath() const { return filePath_; }

private:
    FileError(Kind kind, std::filesystem::path filePath, const std::string& description);

    std::filesystem::path filePath_;
};

} // namespace quorl
