#pragma once

#include <string>

namespace testsupport {

// Redirects a descriptor of the process (standard error by default) to a temporary file while alive;
// text() returns what was written to it.
class OutputCapture {
public:
    explicit OutputCapture(int descriptor = 2);
    ~OutputCapture();
    OutputCapture(const OutputCapture&) = delete;
    OutputCapture& operator=(const OutputCapture&) = delete;

    std::string text() const;

private:
    int descriptor_;
    int savedDescriptor_;
    int captureDescriptor_;
};

} // namespace testsupport
