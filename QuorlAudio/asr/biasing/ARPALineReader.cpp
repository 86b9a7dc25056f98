#include "QuorlAudio/asr/biasing/ARPALineReader.hpp"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorl {

std::optional<ARPALineReader> ARPALineReader::open(const std::filesystem::path& path) {
    platform::sys::FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat status {};
    if (!file.isOpen() || ::fstat(file.get(), &status) != 0 || S_ISDIR(status.st_mode)) {
        return std::nullopt;
    }
    return ARPALineReader(std::move(file));
}

std::optional<std::string> ARPALineReader::readLine() {
    std::size_t searchFrom = start_;
    while (true) {
        const auto end = buffer_.find('\n', searchFrom);
        if (end != std::string::npos) {
            std::string line = buffer_.substr(start_, end - start_);
            start_ = end + 1;
            return line;
        }
        if (eof_) {
            if (start_ == buffer_.size()) {
                return std::nullopt;
            }
            std::string line = buffer_.substr(start_);
            start_ = buffer_.size();
            return line;
        }
        searchFrom = buffer_.size() - start_;
        eof_ = !readChunk();
    }
}

// Appends up to chunkSize bytes; false at the end of the file or on a read error.
bool ARPALineReader::readChunk() {
    buffer_.erase(0, start_);
    start_ = 0;
    const std::size_t used = buffer_.size();
    buffer_.resize(used + chunkSize);
    ssize_t count = 0;
    do {
        count = ::read(file_.get(), buffer_.data() + used, chunkSize);
    } while (count < 0 && errno == EINTR);
    buffer_.resize(used + static_cast<std::size_t>(count > 0 ? count : 0));
    return count > 0;
}

} // namespace quorl
