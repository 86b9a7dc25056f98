#pragma once

#include "platform/net/CurlTransfer.hpp"

#include <filesystem>
#include <optional>
#include <utility>

namespace platform::net {

// The body of a download, written as it arrives into a new file of the temporary folder. The file is
// removed again when this object goes away without having been kept.
class DownloadFile final : public TransferSink {
public:
    // Creates the file; throws UrlError::Code::cannotCreateFile when it cannot.
    DownloadFile();
    ~DownloadFile() override;
    DownloadFile(const DownloadFile&) = delete;
    DownloadFile& operator=(const DownloadFile&) = delete;

    bool receiveResponse(const Response& response) override;
    // Throws UrlError::Code::cannotWriteToFile when the bytes cannot be written.
    void receiveData(std::span<const std::uint8_t> bytes) override;

    // Closes the complete file and gives it up to the caller, with the response head.
    std::pair<std::filesystem::path, Response> keep();

private:
    std::filesystem::path path_;
    int descriptor_ = -1;
    std::optional<Response> response_;
    bool kept_ = false;
};

} // namespace platform::net
