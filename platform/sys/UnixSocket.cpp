#include "platform/sys/UnixSocket.hpp"

#include "platform/core/Concatenated.hpp"
#include "platform/core/SystemError.hpp"

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace platform::sys {

namespace {

core::SystemError bindError(int errnoValue, const std::filesystem::path& path) {
    return core::SystemError::fromErrno(errnoValue,
                                        core::concatenated({"Cannot listen on the Unix socket at ", path.native()}));
}

FileDescriptor streamSocket(const std::filesystem::path& path) {
    FileDescriptor socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!socket.isOpen()) {
        throw bindError(errno, path);
    }
    return socket;
}

bool isServed(const sockaddr_un& address, const std::filesystem::path& path) {
    const auto probe = streamSocket(path);
    const int result = ::connect(probe.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
    return result == 0 || errno == EAGAIN || errno == EINPROGRESS;
}

// A socket file that nobody serves any more is what a host that died leaves behind.
void removeStaleSocket(const sockaddr_un& address, const std::filesystem::path& path) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0 || !S_ISSOCK(status.st_mode)) {
        return;
    }
    if (isServed(address, path)) {
        throw bindError(EADDRINUSE, path);
    }
    ::unlink(path.c_str());
}

void createParentFolder(const std::filesystem::path& path) {
    if (!path.has_parent_path()) {
        return;
    }
    std::error_code error;
    std::filesystem::create_directories(path.parent_path(), error);
    if (error) {
        throw bindError(error.value(), path);
    }
}

} // namespace

sockaddr_un unixSocketAddress(const std::filesystem::path& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.native().size() >= sizeof address.sun_path) {
        throw bindError(ENAMETOOLONG, path);
    }
    std::memcpy(address.sun_path, path.c_str(), path.native().size());
    return address;
}

FileDescriptor listenOnUnixSocket(const std::filesystem::path& path) {
    const auto address = unixSocketAddress(path);
    createParentFolder(path);
    removeStaleSocket(address, path);
    auto socket = streamSocket(path);
    // The socket drives the host (it types text into other applications), so only this user may connect.
    // The mode is set before binding so that the file never exists with a wider one.
    if (::fchmod(socket.get(), S_IRUSR | S_IWUSR) != 0 ||
        ::bind(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(socket.get(), SOMAXCONN) != 0) {
        throw bindError(errno, path);
    }
    return socket;
}

} // namespace platform::sys
