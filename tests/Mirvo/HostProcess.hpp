#pragma once

#include <sys/types.h>

#include <string>

namespace mirvotest {

// An executable run as a child process with this process's environment; its standard error is read back,
// its standard output discarded. A child still running when the object goes away is killed.
class HostProcess {
public:
    explicit HostProcess(const std::string& executable);
    ~HostProcess();
    HostProcess(const HostProcess&) = delete;
    HostProcess& operator=(const HostProcess&) = delete;

    pid_t pid() const { return pid_; }

    // Reads standard error until it contains `text`; false when the child closes it first or stays silent
    // for far longer than any start-up takes.
    bool waitForOutput(const std::string& text);
    void signal(int signalNumber) const;
    // Reads the rest of standard error and reaps the child: its exit status, or -1 when it did not end by
    // itself (it is killed then) or was ended by a signal.
    int waitForExit();

    const std::string& output() const { return output_; }

private:
    // Appends what arrives within the patience limit; false at the end of the output or when nothing came.
    bool readMore();

    pid_t pid_ = -1;
    int errorOutput_ = -1;
    bool outputClosed_ = false;
    std::string output_;
};

} // namespace mirvotest
