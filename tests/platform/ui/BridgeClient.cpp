#include "BridgeClient.hpp"

#include <array>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace uitest {

namespace {

constexpr int guardMilliseconds = 20000;

} // namespace

BridgeClient::BridgeClient(const std::filesystem::path& socketPath)
    : socket_(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
    if (socket_ < 0 || ::connect(socket_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        throw std::runtime_error(std::string("cannot connect to the bridge: ") + std::strerror(errno));
    }
}

BridgeClient::~BridgeClient() { disconnect(); }

void BridgeClient::write(std::string_view text) {
    std::size_t written = 0;
    while (written < text.size()) {
        const auto count = ::send(socket_, text.data() + written, text.size() - written, MSG_NOSIGNAL);
        if (count < 0) {
            throw std::runtime_error(std::string("cannot write to the bridge: ") + std::strerror(errno));
        }
        written += static_cast<std::size_t>(count);
    }
}

void BridgeClient::writeLine(std::string_view line) { write(std::string(line) + "\n"); }

void BridgeClient::writeJson(const nlohmann::json& request) { writeLine(request.dump()); }

std::optional<std::string> BridgeClient::readLine() {
    auto newline = buffer_.find('\n');
    while (newline == std::string::npos) {
        if (!fill()) {
            return std::nullopt;
        }
        newline = buffer_.find('\n');
    }
    auto line = buffer_.substr(0, newline);
    buffer_.erase(0, newline + 1);
    return line;
}

nlohmann::json BridgeClient::readJson() {
    const auto line = readLine();
    return line ? nlohmann::json::parse(*line) : nlohmann::json();
}

bool BridgeClient::readUntilClosed() {
    while (fill()) {
        buffer_.clear();
    }
    return socket_ < 0;
}

void BridgeClient::disconnect() {
    if (socket_ >= 0) {
        ::close(socket_);
        socket_ = -1;
    }
}

// Appends what arrives to the buffer; false at end of stream or when the guard runs out. After the end of
// stream the socket is closed, which readUntilClosed() reports as success.
bool BridgeClient::fill() {
    if (socket_ < 0) {
        return false;
    }
    pollfd descriptor{.fd = socket_, .events = POLLIN, .revents = 0};
    if (::poll(&descriptor, 1, guardMilliseconds) <= 0) {
        return false;
    }
    std::array<char, 65536> chunk{};
    const auto count = ::recv(socket_, chunk.data(), chunk.size(), 0);
    if (count <= 0) {
        disconnect();
        return false;
    }
    buffer_.append(chunk.data(), static_cast<std::size_t>(count));
    return true;
}

} // namespace uitest
