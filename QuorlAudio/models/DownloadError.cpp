#include "QuorlAudio/models/DownloadError.hpp"

#include <utility>

namespace quorl {

DownloadError::DownloadError(Kind kind, const std::string& description) : Error(description), kind_(kind) {}

DownloadError DownloadError::rateLimited(int statusCode, const std::string& message) {
    DownloadError error(Kind::rateLimited, "Hugging Face rate limit encountered: " + message);
    error.statusCode_ = statusCode;
    error.text_ = message;
    return error;
}

DownloadError DownloadError::downloadFailed(const std::string& path, std::exception_ptr underlying) {
    std::string description = "Failed to download ";
    description.append(path).append(": ").append(platform::core::describe(underlying));
    DownloadError error(Kind::downloadFailed, description);
    error.subject_ = path;
    error.underlying_ = std::move(underlying);
    return error;
}

DownloadError DownloadError::modelNotFound(const std::string& path) {
    DownloadError error(Kind::modelNotFound, "Model file not found: " + path);
    error.subject_ = path;
    return error;
}

DownloadError DownloadError::htmlErrorResponse(const std::string& path, const std::string& snippet) {
    std::string description = "HuggingFace returned HTML instead of JSON for ";
    description.append(path).append(" (rate limit or server issue): ").append(snippet);
    DownloadError error(Kind::htmlErrorResponse, description);
    error.subject_ = path;
    error.text_ = snippet;
    return error;
}

DownloadError DownloadError::invalidArtifact(const std::string& path, const std::string& reason) {
    std::string description = "Downloaded artifact for ";
    description.append(path).append(" is invalid (").append(reason).append("); refusing to cache it.");
    DownloadError error(Kind::invalidArtifact, description);
    error.subject_ = path;
    error.text_ = reason;
    return error;
}

DownloadError DownloadError::networkDisabled(const std::string& operation) {
    std::string description = "QuorlAudio offline mode: ";
    description.append(operation).append(" blocked");
    DownloadError error(Kind::networkDisabled, description);
    error.subject_ = operation;
    return error;
}

DownloadError DownloadError::modelMissing(const std::string& repo, const std::vector<std::string>& missing) {
    std::string description = "QuorlAudio offline mode: required models missing for ";
    description.append(repo).append(": ");
    for (std::size_t index = 0; index < missing.size(); ++index) {
        description.append(index == 0 ? "" : ", ").append(missing[index]);
    }
    DownloadError error(Kind::modelMissing, description);
    error.subject_ = repo;
    error.missing_ = missing;
    return error;
}

DownloadError DownloadError::invalidResponse() {
    return DownloadError(Kind::invalidResponse, "Received an invalid response from Hugging Face.");
}

platform::core::SystemError httpStatusError(int statusCode) {
    std::string description = "The operation couldn\u2019t be completed. (HTTP error ";
    description.append(std::to_string(statusCode)).append(".)");
    return platform::core::SystemError("HTTP", statusCode, description);
}

} // namespace quorl
