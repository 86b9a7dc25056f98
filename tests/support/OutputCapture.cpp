#include "tests/support/OutputCapture.hpp"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace testsupport {

OutputCapture::OutputCapture(int descriptor) : descriptor_(descriptor) {
    char path[] = "/tmp/output-capture-XXXXXX";
    captureDescriptor_ = mkstemp(path);
    if (captureDescriptor_ < 0) {
        throw std::runtime_error("cannot create a capture file");
    }
    unlink(path);
    std::fflush(nullptr);
    savedDescriptor_ = dup(descriptor_);
    dup2(captureDescriptor_, descriptor_);
}

OutputCapture::~OutputCapture() {
    std::fflush(nullptr);
    dup2(savedDescriptor_, descriptor_);
    close(savedDescriptor_);
    close(captureDescriptor_);
}

std::string OutputCapture::text() const {
    std::fflush(nullptr);
    std::string contents;
    char buffer[4096];
    off_t offset = 0;
    for (ssize_t count; (count = pread(captureDescriptor_, buffer, sizeof buffer, offset)) > 0; offset += count) {
        contents.append(buffer, static_cast<std::size_t>(count));
    }
    return contents;
}

} // namespace testsupport
