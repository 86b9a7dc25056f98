#pragma once

#include <cstdint>
#include <filesystem>
#include <span>

namespace quorl {

// A file open for writing at its current position, created empty when absent. Every failure throws
// platform::core::SystemError of domain "POSIX"; closing ignores failures.
class WritableFile {
public:
    explicit WritableFile(const std::filesystem::path& path);
    ~WritableFile();
    WritableFile(const WritableFile&) = delete;
    WritableFile& operator=(const WritableFile&) = delete;

    void seekToEnd();
    // Empties the file and writes from its start again.
    void truncate();
    void write(std::span<const std::uint8_t> bytes);

private:
    std::filesystem::path path_;
    int descriptor_;
};

} // namespace quorl
