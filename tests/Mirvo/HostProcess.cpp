#include "tests/Mirvo/HostProcess.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <stdexcept>

extern char** environ;

namespace mirvotest {

namespace {

// A generous bound on silence, so a broken child fails the test instead of hanging it.
constexpr int patienceMilliseconds = 60'000;

} // namespace

HostProcess::HostProcess(const std::string& executable) {
    int pipeEnds[2];
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0) {
        throw std::runtime_error("cannot create a pipe");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 2);
    char* arguments[] = {const_cast<char*>(executable.c_str()), nullptr};
    const int failure = ::posix_spawn(&pid_, executable.c_str(), &actions, nullptr, arguments, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeEnds[1]);
    errorOutput_ = pipeEnds[0];
    if (failure != 0) {
        ::close(errorOutput_);
        throw std::runtime_error("cannot start " + executable);
    }
}

HostProcess::~HostProcess() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    ::close(errorOutput_);
}

bool HostProcess::waitForOutput(const std::string& text) {
    while (output_.find(text) == std::string::npos) {
        if (!readMore()) {
            return false;
        }
    }
    return true;
}

void HostProcess::signal(int signalNumber) const { ::kill(pid_, signalNumber); }

int HostProcess::waitForExit() {
    while (readMore()) {}
    const bool endedByItself = outputClosed_;
    if (!endedByItself) {
        ::kill(pid_, SIGKILL);
    }
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return endedByItself && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool HostProcess::readMore() {
    pollfd readable{.fd = errorOutput_, .events = POLLIN, .revents = 0};
    int ready = 0;
    do {
        ready = ::poll(&readable, 1, patienceMilliseconds);
    } while (ready < 0 && errno == EINTR);
    if (ready <= 0) {
        return false;
    }
    std::array<char, 4096> buffer{};
    const ssize_t length = ::read(errorOutput_, buffer.data(), buffer.size());
    if (length <= 0) {
        outputClosed_ = true;
        return false;
    }
    output_.append(buffer.data(), static_cast<std::size_t>(length));
    return true;
}

} // namespace mirvotest
