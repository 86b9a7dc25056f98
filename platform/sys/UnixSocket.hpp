#pragma once

#include "platform/sys/FileDescriptor.hpp"

#include <filesystem>

#include <sys/un.h>

namespace platform::sys {

// The address of the socket file at `path`. Throws platform::core::SystemError (ENAMETOOLONG) for a path
// longer than an address holds.
sockaddr_un unixSocketAddress(const std::filesystem::path& path);

// A non-blocking stream socket listening at `path`, readable and writable by this user only. Creates the
// parent folder and replaces a stale socket file left by a process that is gone; refuses a path that a live
// process still serves. Throws platform::core::SystemError when the socket cannot be bound.
FileDescriptor listenOnUnixSocket(const std::filesystem::path& path);

} // namespace platform::sys
