#include "platform/ui/SocketBridge.hpp"

#include "platform/core/Concatenated.hpp"
#include "platform/core/ThreadPool.hpp"
#include "platform/sys/UnifiedLog.hpp"
#include "platform/sys/UnixSocket.hpp"
#include "platform/sys/WakeupSignal.hpp"
#include "platform/ui/BridgeConnection.hpp"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <optional>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <vector>

namespace platform::ui {

namespace {

// Identifies the socket file this bridge bound, so that stopping never removes a file someone else made.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const FileIdentity&) const = default;
};

std::optional<FileIdentity> identity(const std::filesystem::path& path) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) {
        return std::nullopt;
    }
    return FileIdentity{.device = status.st_dev, .inode = status.st_ino};
}

// Threads that parse and handle request lines: a client whose long line takes seconds to parse holds one of
// them, and the others keep serving everyone else.
constexpr std::size_t requestThreads = 4;

// How long accepting rests after the process ran out of descriptors, unless a connection closes first.
constexpr std::chrono::milliseconds acceptBackOff{500};

} // namespace

struct SocketBridge::Impl {
    Impl(BinaryMessenger& bridgedMessenger, std::filesystem::path path, BridgeLimits clientLimits)
        : messenger(bridgedMessenger), socketPath(std::move(path)), limits(clientLimits) {}

    BinaryMessenger& messenger;
    std::filesystem::path socketPath;
    BridgeLimits limits;

    std::mutex lifecycle;
    sys::FileDescriptor listener;
    std::optional<FileIdentity> socketFile;
    std::shared_ptr<const sys::WakeupSignal> wakeup;
    std::atomic<bool> stopping{false};
    std::thread ioThread;
    // Where the clients' request lines are parsed and handled, off the I/O thread; declared before the
    // connections, so that it outlives them.
    core::ThreadPool requestPool{requestThreads};
    // Touched by the I/O thread while it runs, and by stop() once it has ended.
    std::vector<std::unique_ptr<BridgeConnection>> connections;
    // Set while the process has no descriptor to spare for a new client: the listening socket stays readable
    // then, so it is left out of the poll until a connection closes or the back-off has passed.
    std::optional<std::chrono::steady_clock::time_point> acceptPausedUntil;
    // Whether running out of descriptors has been logged since the last client was accepted.
    bool exhaustionLogged = false;

    void start();
    void stop();
    void serve();
    std::vector<pollfd> pollDescriptors() const;
    void acceptClients();
    void pauseAccepting(int error);
    int pollTimeout();
    void serviceConnections(const std::vector<pollfd>& descriptors);
};

void SocketBridge::Impl::start() {
    std::lock_guard lock(lifecycle);
    if (ioThread.joinable()) {
        return;
    }
    wakeup = std::make_shared<const sys::WakeupSignal>();
    listener = sys::listenOnUnixSocket(socketPath);
    socketFile = identity(socketPath);
    stopping = false;
    ioThread = std::thread([this] { serve(); });
}

void SocketBridge::Impl::stop() {
    std::lock_guard lock(lifecycle);
    if (!ioThread.joinable()) {
        return;
    }
    stopping = true;
    wakeup->signal();
    ioThread.join();
    for (auto& connection : connections) {
        connection->close();
    }
    connections.clear();
    listener.reset();
    if (socketFile && identity(socketPath) == socketFile) {
        std::error_code ignored;
        std::filesystem::remove(socketPath, ignored);
    }
    socketFile.reset();
}

void SocketBridge::Impl::serve() {
    while (!stopping) {
        // The timeout first: it ends a pause that has passed, which puts the listener back among the descriptors.
        const int timeout = pollTimeout();
        auto descriptors = pollDescriptors();
        if (::poll(descriptors.data(), descriptors.size(), timeout) < 0) {
            if (errno == EINTR) {
                continue;
            }
            sys::systemLog(core::concatenated({"Socket bridge stopped serving: ", std::strerror(errno)}));
            return;
        }
        if (stopping) {
            return;
        }
        if (descriptors[0].revents != 0) {
            wakeup->drain();
        }
        if (descriptors[1].revents != 0) {
            acceptClients();
        }
        serviceConnections(descriptors);
    }
}

// The wake-up signal first, the listening socket second, then one entry per connection in order.
std::vector<pollfd> SocketBridge::Impl::pollDescriptors() const {
    std::vector<pollfd> descriptors;
    descriptors.reserve(connections.size() + 2);
    descriptors.push_back(pollfd{.fd = wakeup->descriptor(), .events = POLLIN, .revents = 0});
    // A negative descriptor is skipped by poll().
    descriptors.push_back(pollfd{.fd = acceptPausedUntil ? -1 : listener.get(), .events = POLLIN, .revents = 0});
    for (const auto& connection : connections) {
        descriptors.push_back(
            pollfd{.fd = connection->descriptor(), .events = connection->wantedEvents(), .revents = 0});
    }
    return descriptors;
}

void SocketBridge::Impl::acceptClients() {
    while (true) {
        sys::FileDescriptor client(::accept4(listener.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
        if (!client.isOpen()) {
            if (errno == EINTR || errno == ECONNABORTED) {
                continue;
            }
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                pauseAccepting(errno);
            }
            return;
        }
        exhaustionLogged = false;
        connections.push_back(
            std::make_unique<BridgeConnection>(std::move(client), messenger, requestPool, wakeup, limits));
    }
}

void SocketBridge::Impl::pauseAccepting(int error) {
    acceptPausedUntil = std::chrono::steady_clock::now() + acceptBackOff;
    if (!exhaustionLogged) {
        exhaustionLogged = true;
        sys::systemLog(core::concatenated({"Socket bridge cannot accept clients for now: ", std::strerror(error)}));
    }
}

// Without a pause, poll() waits for the descriptors alone; with one, it wakes when the pause ends.
int SocketBridge::Impl::pollTimeout() {
    if (!acceptPausedUntil) {
        return -1;
    }
    const auto now = std::chrono::steady_clock::now();
    if (now >= *acceptPausedUntil) {
        acceptPausedUntil.reset();
        return -1;
    }
    return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(*acceptPausedUntil - now).count());
}

// Connections accepted in this round have no poll result yet; they are served from the next round on.
void SocketBridge::Impl::serviceConnections(const std::vector<pollfd>& descriptors) {
    const std::size_t polledCount = descriptors.size() - 2;
    std::vector<std::unique_ptr<BridgeConnection>> remaining;
    remaining.reserve(connections.size());
    for (std::size_t index = 0; index < connections.size(); ++index) {
        auto& connection = connections[index];
        const short events = index < polledCount ? descriptors[index + 2].revents : 0;
        if (index >= polledCount || connection->service(events)) {
            remaining.push_back(std::move(connection));
        } else {
            connection->close();
            // Its descriptor is free again: a client that waits may now be accepted.
            acceptPausedUntil.reset();
        }
    }
    connections = std::move(remaining);
}

SocketBridge::SocketBridge(BinaryMessenger& messenger, std::filesystem::path socketPath, BridgeLimits limits)
    : impl_(std::make_unique<Impl>(messenger, std::move(socketPath), limits)) {}

SocketBridge::~SocketBridge() { stop(); }

void SocketBridge::start() { impl_->start(); }

void SocketBridge::stop() { impl_->stop(); }

const std::filesystem::path& SocketBridge::socketPath() const { return impl_->socketPath; }

} // namespace platform::ui
