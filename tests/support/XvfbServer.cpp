#include "tests/support/XvfbServer.hpp"

#include "platform/sys/Environment.hpp"

#include <X11/Xlib.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace testsupport {

namespace {

// Generous: a loaded machine running sanitised suites side by side starts a server slowly.
constexpr auto startTimeout = std::chrono::seconds(30);

// The display number Xvfb writes, with a line feed, once it listens.
std::string readDisplayNumber(int fd) {
    std::string number;
    const auto deadline = std::chrono::steady_clock::now() + startTimeout;
    while (number.empty() || number.back() != '\n') {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd ready{.fd = fd, .events = POLLIN, .revents = 0};
        if (left.count() <= 0 || ::poll(&ready, 1, static_cast<int>(left.count())) <= 0) {
            throw std::runtime_error("Xvfb did not report its display");
        }
        char buffer[16];
        const auto count = ::read(fd, buffer, sizeof buffer);
        if (count <= 0) {
            throw std::runtime_error("Xvfb exited before reporting its display");
        }
        number.append(buffer, static_cast<std::size_t>(count));
    }
    number.pop_back();
    return number;
}

void waitUntilConnectable(const std::string& display) {
    const auto deadline = std::chrono::steady_clock::now() + startTimeout;
    while (std::chrono::steady_clock::now() < deadline) {
        if (Display* connection = XOpenDisplay(display.c_str())) {
            XCloseDisplay(connection);
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    throw std::runtime_error("Xvfb does not accept connections on " + display);
}

} // namespace

std::optional<std::string> XvfbServer::binary() {
    std::istringstream path(platform::sys::environmentValue("PATH").value_or("/usr/bin:/bin"));
    for (std::string folder; std::getline(path, folder, ':');) {
        const auto candidate = std::filesystem::path(folder) / "Xvfb";
        if (::access(candidate.c_str(), X_OK) == 0) {
            return candidate.string();
        }
    }
    return std::nullopt;
}

XvfbServer::XvfbServer(const std::vector<std::string>& screens) {
    const auto executable = binary();
    if (!executable) {
        throw std::runtime_error("no Xvfb binary");
    }
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        throw std::runtime_error("cannot make a pipe for Xvfb");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // The write end becomes descriptor 3 of the server, without close-on-exec.
    posix_spawn_file_actions_adddup2(&actions, ends[1], 3);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    // Without -noreset the server resets, refusing connections for a moment, each time its last client leaves.
    std::vector<std::string> words{*executable, "-displayfd", "3", "-nolisten", "tcp", "-noreset"};
    for (std::size_t screen = 0; screen < screens.size(); ++screen) {
        words.insert(words.end(), {"-screen", std::to_string(screen), screens[screen]});
    }
    std::vector<char*> arguments;
    for (auto& word : words) {
        arguments.push_back(word.data());
    }
    arguments.push_back(nullptr);
    const int failure = ::posix_spawn(&pid_, executable->c_str(), &actions, nullptr, arguments.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(ends[1]);
    try {
        if (failure != 0) {
            throw std::runtime_error("cannot start Xvfb");
        }
        display_ = ':' + readDisplayNumber(ends[0]);
        waitUntilConnectable(display_);
    } catch (...) {
        ::close(ends[0]);
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
        throw;
    }
    ::close(ends[0]);
}

XvfbServer::~XvfbServer() {
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
}

} // namespace testsupport
