#include "platform/ui/SocketBridge.hpp"

#include "platform/core/Concatenated.hpp"
#include "platform/sys/UnifiedLog.hpp"
#include "platform/ui/BridgeConnection.hpp"
#include "platform/sys/UnixSocket.hpp"
#include "platform/sys/WakeupSignal.hpp"

#include <atomic>
#include <cerrno>
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
    // Touched by the I/O thread while it runs, and by stop() once it has ended.
    std::vector<std::unique_ptr<BridgeConnection>> connections;

    void start();
    void stop();
    void serve();
    std::vector<pollfd> pollDescriptors() const;
    void acceptClients();
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
        auto descriptors = pollDescriptors();
        if (::poll(descriptors.data(), descriptors.size(), -1) < 0) {
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
    descriptors.push_back(pollfd{.fd = listener.get(), .events = POLLIN, .revents = 0});
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
            return;
        }
        connections.push_back(std::make_unique<BridgeConnection>(std::move(client), messenger, wakeup, limits));
    }
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
