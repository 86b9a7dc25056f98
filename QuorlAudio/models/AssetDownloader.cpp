#include "QuorlAudio/models/AssetDownloader.hpp"

#include "platform/core/Concatenated.hpp"
#include "platform/net/Request.hpp"
#include "platform/sys/AtomicWrite.hpp"
#include "platform/sys/FileRemoval.hpp"

#include <system_error>

namespace quorl {
namespace {

platform::net::Request bareRequest(const platform::net::Url& url) {
    platform::net::Request request;
    request.url = url;
    return request;
}

void checkStatus(const platform::net::Response& response, const std::string& description) {
    if (response.statusCode < 200 || response.statusCode > 299) {
        throw AssetDownloader::Error::invalidResponse(description, response.statusCode);
    }
}

// A rename, or a copy when the temporary folder is on another file system.
void moveFile(const std::filesystem::path& from, const std::filesystem::path& to) {
    std::error_code error;
    std::filesystem::rename(from, to, error);
    if (error == std::errc::cross_device_link) {
        std::filesystem::copy_file(from, to);
        std::filesystem::remove(from);
    } else if (error) {
        throw std::filesystem::filesystem_error("Cannot move file", from, to, error);
    }
}

void replaceWithMove(const std::filesystem::path& temporaryFile, const std::filesystem::path& destination) {
    if (std::filesystem::exists(std::filesystem::symlink_status(destination))) {
        std::filesystem::remove_all(destination);
    }
    moveFile(temporaryFile, destination);
}

// Removes a downloaded temporary file once its mover is done with it, whatever the outcome.
class TemporaryFileCleanup {
public:
    explicit TemporaryFileCleanup(std::filesystem::path path) : path_(std::move(path)) {}
    ~TemporaryFileCleanup() { platform::sys::removeIgnoringFailure(path_); }
    TemporaryFileCleanup(const TemporaryFileCleanup&) = delete;
    TemporaryFileCleanup& operator=(const TemporaryFileCleanup&) = delete;

private:
    std::filesystem::path path_;
};

void transfer(const AssetDownloader::Descriptor& descriptor, const AssetDownloader::DataWriter& writer,
              platform::net::Session& session) {
    const auto [bytes, response] = session.data(bareRequest(descriptor.remoteURL));
    checkStatus(response, descriptor.description);
    writer(bytes, descriptor.destinationURL);
}

void transfer(const AssetDownloader::Descriptor& descriptor, const AssetDownloader::FileMover& mover,
              platform::net::Session& session) {
    const auto [temporaryFile, response] = session.download(bareRequest(descriptor.remoteURL));
    const TemporaryFileCleanup cleanup(temporaryFile);
    checkStatus(response, descriptor.description);
    mover(temporaryFile, descriptor.destinationURL);
}

} // namespace

AssetDownloader::Error::Error(const std::string& text, std::string description, int statusCode)
    : platform::core::Error(text), description_(std::move(description)), statusCode_(statusCode) {}

AssetDownloader::Error AssetDownloader::Error::invalidResponse(const std::string& description, int statusCode) {
    const std::string text = platform::core::concatenated(
        {"Unexpected response (status ", std::to_string(statusCode), ") while downloading ", description});
    return Error(text, description, statusCode);
}

std::filesystem::path AssetDownloader::ensure(const Descriptor& descriptor,
                                              const std::shared_ptr<platform::net::Session>& session,
                                              const AppLogger& logger) {
    std::error_code unreadable;
    if (descriptor.skipIfExists && std::filesystem::exists(descriptor.destinationURL, unreadable)) {
        return descriptor.destinationURL;
    }
    if (const auto folder = descriptor.destinationURL.parent_path(); !folder.empty()) {
        std::filesystem::create_directories(folder);
    }
    logger.info(platform::core::concatenated({"Downloading ", descriptor.description, "\u2026"}));
    std::visit([&](const auto& store) { transfer(descriptor, store, *session); }, descriptor.transferMode.transfer());
    logger.info(
        platform::core::concatenated({"Cached ", descriptor.description, " at ", descriptor.destinationURL.string()}));
    return descriptor.destinationURL;
}

std::vector<std::uint8_t> AssetDownloader::fetchData(const platform::net::Url& url, const std::string& description,
                                                     const std::shared_ptr<platform::net::Session>& session,
                                                     const AppLogger& logger) {
    logger.debug(platform::core::concatenated({"Fetching ", description, " from ", url.absoluteString()}));
    auto [bytes, response] = session->data(bareRequest(url));
    checkStatus(response, description);
    return std::move(bytes);
}

const AssetDownloader::DataWriter& AssetDownloader::defaultDataWriter() {
    static const DataWriter writer = [](const std::vector<std::uint8_t>& bytes,
                                        const std::filesystem::path& destination) {
        platform::sys::writeAtomically(bytes, destination);
    };
    return writer;
}

const AssetDownloader::FileMover& AssetDownloader::defaultFileMover() {
    static const FileMover mover = replaceWithMove;
    return mover;
}

} // namespace quorl
