#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace testsupport {

// An Xvfb server of the test's own. Xvfb picks a free display number itself (-displayfd), so test processes
// running side by side never share one; the server is ready once a client can connect to it.
class XvfbServer {
public:
    // None when there is no Xvfb binary on the PATH (the tests that need it skip).
    static std::optional<std::string> binary();

    // Starts the server with one X screen per entry ("<width>x<height>x<depth>") and waits until it accepts
    // connections; throws when it does not start.
    explicit XvfbServer(const std::vector<std::string>& screens = {"640x480x24"});
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;
    ~XvfbServer();

    // ":<number>".
    const std::string& display() const { return display_; }

private:
    pid_t pid_ = -1;
    std::string display_;
};

} // namespace testsupport
