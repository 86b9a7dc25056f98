#pragma once

#include "platform/sys/FileDescriptor.hpp"

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>

namespace quorl {

// Cuts a file into LF-ended lines while reading it in chunks, so a large language model is never in memory
// whole. Lines come back as raw bytes; decoding them is the caller's business.
class ARPALineReader {
public:
    static constexpr std::size_t chunkSize = 65536;

    // None when the path cannot be opened for reading as a file (a folder included).
    static std::optional<ARPALineReader> open(const std::filesystem::path& path);

    // The next line without its LF; the bytes after the last LF form a last line. None at the end; a read
    // error ends the input as well.
    std::optional<std::string> readLine();

private:
    explicit ARPALineReader(platform::sys::FileDescriptor file) : file_(std::move(file)) {}

    bool readChunk();

    platform::sys::FileDescriptor file_;
    std::string buffer_;
    // Where the unreturned bytes of buffer_ begin; consumed bytes are dropped only when a chunk is appended.
    std::size_t start_ = 0;
    bool eof_ = false;
};

} // namespace quorl
