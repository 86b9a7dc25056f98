#pragma once

#include <filesystem>

namespace testsupport {

// Makes an existing folder refuse new entries while alive, then makes it writable again. Taking away the
// write permission does not stop a privileged user, so the folder is also marked immutable where the file
// system and the process allow it. `holds()` tells whether the folder really refuses writes; a test that
// needs it skips otherwise.
class ReadOnlyFolder {
public:
    explicit ReadOnlyFolder(std::filesystem::path folder);
    ~ReadOnlyFolder();
    ReadOnlyFolder(const ReadOnlyFolder&) = delete;
    ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;

    bool holds() const;

private:
    std::filesystem::path folder_;
    std::filesystem::perms permissions_;
    bool immutable_ = false;
};

} // namespace testsupport
