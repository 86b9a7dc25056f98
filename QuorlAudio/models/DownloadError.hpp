#pragma once

#include "platform/core/Error.hpp"
#include "platform/core/SystemError.hpp"

#include <exception>
#include <string>
#include <vector>

namespace quorl {

// Failures of the hub client and of model downloads and loads. The descriptions are shown to users.
class DownloadError : public platform::core::Error {
public:
    enum class Kind {
        rateLimited,
        downloadFailed,
        modelNotFound,
        htmlErrorResponse,
        invalidArtifact,
        networkDisabled,
        modelMissing,
        invalidResponse,
    };

    static DownloadError rateLimited(int statusCode, const std::string& message);
    static DownloadError downloadFailed(const std::string& path, std::exception_ptr underlying);
    static DownloadError modelNotFound(const std::string& path);
    static DownloadError htmlErrorResponse(const std::string& path, const std::string& snippet);
    static DownloadError invalidArtifact(const std::string& path, const std::string& reason);
    static DownloadError networkDisabled(const std::string& operation);
    static DownloadError modelMissing(const std::string& repo, const std::vector<std::string>& missing);
    static DownloadError invalidResponse();

    Kind kind() const { return kind_; }
    // rateLimited
    int statusCode() const { return statusCode_; }
    const std::string& message() const { return text_; }
    // downloadFailed, modelNotFound, htmlErrorResponse, invalidArtifact
    const std::string& path() const { return subject_; }
    const std::exception_ptr& underlying() const { return underlying_; }
    const std::string& snippet() const { return text_; }
    const std::string& reason() const { return text_; }
    // networkDisabled
    const std::string& operation() const { return subject_; }
    // modelMissing
    const std::string& repo() const { return subject_; }
    const std::vector<std::string>& missing() const { return missing_; }

private:
    DownloadError(Kind kind, const std::string& description);

    Kind kind_;
    int statusCode_ = 0;
    std::string subject_;
    std::string text_;
    std::exception_ptr underlying_;
    std::vector<std::string> missing_;
};

// The error of an HTTP answer with an unwanted status: domain "HTTP", the status as its code.
platform::core::SystemError httpStatusError(int statusCode);

} // namespace quorl
