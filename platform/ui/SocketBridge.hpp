#pragma once

#include "platform/ui/BinaryMessenger.hpp"

#include <cstddef>
#include <filesystem>
#include <memory>

namespace platform::ui {

// What the bridge accepts from and keeps for one client.
struct BridgeLimits {
    // The longest request line; a longer one is answered "bad_request" and skipped.
    std::size_t lineLength = 16 * 1024 * 1024;
    // Output a client may leave unread; a client that lets more pile up is disconnected.
    std::size_t backlog = 64 * 1024 * 1024;
};

// Serves every channel of a messenger on a Unix-domain socket, one JSON object per line, so that a
// separate interface process (or a test) can call methods, listen to event channels and receive events.
// Any number of clients may connect; a malformed line, an unknown channel or a client that goes away never
// disturbs the others. One I/O thread serves all clients without blocking on any of them; their request
// lines are parsed and handled on a few threads of the bridge's own, one line at a time for each client. The
// messenger must outlive the bridge and the work the bridge leaves on the main queue.
class SocketBridge {
public:
    SocketBridge(BinaryMessenger& messenger, std::filesystem::path socketPath, BridgeLimits limits = {});
    ~SocketBridge();
    SocketBridge(const SocketBridge&) = delete;
    SocketBridge& operator=(const SocketBridge&) = delete;

    // Binds the socket (creating its folder and replacing a stale file at its path) and starts accepting
    // clients; does nothing while already started. Throws platform::core::SystemError when the socket cannot
    // be bound, or when another live process serves the path.
    void start();
    // Closes the socket and every client connection (their streams are cancelled as if they had
    // disconnected), removes the socket file and ends the I/O thread; idempotent.
    void stop();

    const std::filesystem::path& socketPath() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace platform::ui
