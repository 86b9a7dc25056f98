#include "platform/desktop/ActivationListener.hpp"

#include "platform/core/SystemError.hpp"
#include "platform/sys/UnixSocket.hpp"

#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <string>
#include <string_view>

namespace platform::desktop {

namespace {

constexpr std::string_view request = "activate\n";
constexpr std::string_view acknowledgement = "ok\n";
// Neither side may hang on a peer that connects and then says nothing.
constexpr timeval peerTimeout{.tv_sec = 2, .tv_usec = 0};

// A blocking socket for the asking side, which waits for the answer.
sys::FileDescriptor newSocket() {
    sys::FileDescriptor socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!socket.isOpen()) {
        throw core::SystemError::fromErrno(errno, "Cannot create the activation socket");
    }
    return socket;
}

void limitWaits(const sys::FileDescriptor& connection) {
    ::setsockopt(connection.get(), SOL_SOCKET, SO_RCVTIMEO, &peerTimeout, sizeof(peerTimeout));
    ::setsockopt(connection.get(), SOL_SOCKET, SO_SNDTIMEO, &peerTimeout, sizeof(peerTimeout));
}

bool sendAll(const sys::FileDescriptor& connection, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t sent = ::send(connection.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) {
            continue;
        }
        if (sent <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

// One short line, newline included; nothing when the peer goes quiet, closes early or sends too much.
std::optional<std::string> receiveLine(const sys::FileDescriptor& connection) {
    std::string line;
    char byte = 0;
    while (line.size() < request.size()) {
        const ssize_t received = ::recv(connection.get(), &byte, 1, 0);
        if (received < 0 && errno == EINTR) {
            continue;
        }
        if (received <= 0) {
            return std::nullopt;
        }
        line.push_back(byte);
        if (byte == '\n') {
            return line;
        }
    }
    return std::nullopt;
}

} // namespace

ActivationListener::ActivationListener(std::filesystem::path socketPath, std::function<void()> onActivate)
    : socketPath_(std::move(socketPath)), onActivate_(std::move(onActivate)),
      socket_(sys::listenOnUnixSocket(socketPath_)) {
    thread_ = std::thread([this] { serve(); });
}

ActivationListener::~ActivationListener() {
    wake_.signal();
    thread_.join();
    ::unlink(socketPath_.c_str());
}

void ActivationListener::serve() {
    pollfd watched[2] = {{.fd = socket_.get(), .events = POLLIN, .revents = 0},
                         {.fd = wake_.descriptor(), .events = POLLIN, .revents = 0}};
    while (true) {
        if (::poll(watched, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        if (watched[1].revents != 0) {
            return;
        }
        if (watched[0].revents != 0) {
            sys::FileDescriptor connection(::accept4(socket_.get(), nullptr, nullptr, SOCK_CLOEXEC));
            if (connection.isOpen()) {
                answer(std::move(connection));
            }
        }
    }
}

void ActivationListener::answer(sys::FileDescriptor connection) {
    limitWaits(connection);
    if (receiveLine(connection) == request) {
        onActivate_();
        sendAll(connection, acknowledgement);
    }
}

bool ActivationListener::requestActivation(const std::filesystem::path& socketPath) {
    try {
        const sockaddr_un address = sys::unixSocketAddress(socketPath);
        sys::FileDescriptor connection = newSocket();
        if (::connect(connection.get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
            return false;
        }
        limitWaits(connection);
        return sendAll(connection, request) && receiveLine(connection) == acknowledgement;
    } catch (const core::SystemError&) {
        return false;
    }
}

} // namespace platform::desktop
