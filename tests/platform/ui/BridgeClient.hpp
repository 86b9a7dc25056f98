#pragma once

#include <nlohmann/json.hpp>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace uitest {

// A client of the socket bridge for tests: connects, writes lines, reads lines. Reads give up after a
// generous guard time so that a missing line fails the test instead of hanging it; the guard is never a
// measure of speed.
class BridgeClient {
public:
    explicit BridgeClient(const std::filesystem::path& socketPath);
    ~BridgeClient();
    BridgeClient(const BridgeClient&) = delete;
    BridgeClient& operator=(const BridgeClient&) = delete;

    void write(std::string_view text);
    void writeLine(std::string_view line);
    void writeJson(const nlohmann::json& request);
    // The next line without its newline, or nothing when the bridge closed the connection or the guard ran out.
    std::optional<std::string> readLine();
    // The next line parsed as JSON; a JSON null when there was none.
    nlohmann::json readJson();
    // Reads until the bridge closes the connection; false when the guard ran out first.
    bool readUntilClosed();
    void disconnect();

private:
    bool fill();

    int socket_ = -1;
    std::string buffer_;
};

} // namespace uitest
