#pragma once

#include <filesystem>

namespace testsupport {

// A new, empty folder under the system's temporary folder, removed with everything in it when the object
// goes away.
class TemporaryFolder {
public:
    TemporaryFolder();
    ~TemporaryFolder();
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

} // namespace testsupport
