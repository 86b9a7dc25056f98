#include "platform/net/DownloadFile.hpp"

#include "platform/net/UrlError.hpp"
#include "platform/sys/FileDescriptorIO.hpp"

#include <cerrno>
#include <cstring>
#include <stdlib.h>
#include <string>
#include <system_error>
#include <unistd.h>

namespace platform::net {

namespace {

std::string describeFailure(const char* action, const std::filesystem::path& path, int errorNumber) {
    return std::string(action).append(" ").append(path.string()).append(": ").append(std::strerror(errorNumber));
}

} // namespace

DownloadFile::DownloadFile() {
    std::error_code error;
    const auto folder = std::filesystem::temp_directory_path(error);
    if (error) {
        throw UrlError(UrlError::Code::cannotCreateFile,
                       std::string("There is no temporary folder for downloads: ").append(error.message()));
    }
    std::string pattern = folder / "download-XXXXXX";
    descriptor_ = ::mkstemp(pattern.data());
    if (descriptor_ < 0) {
        throw UrlError(UrlError::Code::cannotCreateFile, describeFailure("Cannot create", pattern, errno));
    }
    path_ = pattern;
}

DownloadFile::~DownloadFile() {
    if (descriptor_ >= 0) {
        ::close(descriptor_);
    }
    if (!kept_) {
        std::error_code ignored;
        std::filesystem::remove(path_, ignored);
    }
}

bool DownloadFile::receiveResponse(const Response& response) {
    response_ = response;
    return true;
}

void DownloadFile::receiveData(std::span<const std::uint8_t> bytes) {
    if (!sys::writeAll(descriptor_, std::as_bytes(bytes))) {
        throw UrlError(UrlError::Code::cannotWriteToFile, describeFailure("Cannot write to", path_, errno));
    }
}

std::pair<std::filesystem::path, Response> DownloadFile::keep() {
    const int descriptor = std::exchange(descriptor_, -1);
    if (::close(descriptor) != 0) {
        throw UrlError(UrlError::Code::cannotWriteToFile, describeFailure("Cannot write to", path_, errno));
    }
    kept_ = true;
    return {path_, std::move(*response_)};
}

} // namespace platform::net
