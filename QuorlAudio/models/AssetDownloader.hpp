#pragma once

#include "QuorlAudio/foundation/AppLogger.hpp"
#include "platform/core/Error.hpp"
#include "platform/net/Session.hpp"
#include "platform/net/Url.hpp"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <variant>
#include <vector>

namespace quorl {

// The plain way to fetch one auxiliary file (a lexicon, a dictionary, a voice) to a known place or into
// memory: one GET of the bare URL on the caller's session, no token, no retries, no resumption, no
// offline switch; any 2xx body is accepted as it is.
class AssetDownloader {
public:
    // Stores fetched bytes at the destination; may be called from any thread.
    using DataWriter =
        std::function<void(const std::vector<std::uint8_t>& bytes, const std::filesystem::path& destination)>;
    // Puts a downloaded temporary file in place at the destination; may be called from any thread.
    using FileMover =
        std::function<void(const std::filesystem::path& temporaryFile, const std::filesystem::path& destination)>;

    // How the payload reaches its destination: fetched into memory and written, or downloaded into a
    // temporary file and moved.
    class TransferMode {
    public:
        static TransferMode data(DataWriter writer) { return TransferMode(std::move(writer)); }
        static TransferMode file(FileMover mover) { return TransferMode(std::move(mover)); }

        const std::variant<DataWriter, FileMover>& transfer() const { return transfer_; }

    private:
        explicit TransferMode(std::variant<DataWriter, FileMover> transfer) : transfer_(std::move(transfer)) {}

        std::variant<DataWriter, FileMover> transfer_;
    };

    struct Descriptor {
        // Names the asset in log lines and errors.
        std::string description;
        platform::net::Url remoteURL;
        std::filesystem::path destinationURL;
        // When true, nothing is fetched if something already exists at the destination.
        bool skipIfExists = false;
        TransferMode transferMode;
    };

    class Error : public platform::core::Error {
    public:
        enum class Kind { invalidResponse };

        // `statusCode` is -1 when the answer was not an HTTP response.
        static Error invalidResponse(const std::string& description, int statusCode);

        Kind kind() const { return Kind::invalidResponse; }
        const std::string& description() const { return description_; }
        int statusCode() const { return statusCode_; }

    private:
        Error(const std::string& text, std::string description, int statusCode);

        std::string description_;
        int statusCode_;
    };

    // Fetches the asset unless it may be skipped; returns the destination.
    static std::filesystem::path ensure(const Descriptor& descriptor,
                                        const std::shared_ptr<platform::net::Session>& session,
                                        const AppLogger& logger);
    static std::vector<std::uint8_t> fetchData(const platform::net::Url& url, const std::string& description,
                                               const std::shared_ptr<platform::net::Session>& session,
                                               const AppLogger& logger);

    // Writes to a temporary file beside the destination, then renames it over the destination in one step.
    static const DataWriter& defaultDataWriter();
    // Deletes whatever is at the destination, then moves the temporary file there.
    static const FileMover& defaultFileMover();
};

} // namespace quorl
