#pragma once

#include "platform/core/Error.hpp"

#include <exception>
#include <filesystem>
#include <string>

namespace quorl {

// Failures of speech recognition, shared by every recogniser of the toolkit.
class ASRError : public platform::core::Error {
public:
    enum class Kind {
        processingFailed,
        unsupportedPlatform,
        streamingConversionFailed,
        fileAccessFailed,
        encoderInstantiationFailed,
        notInitialized,
        invalidAudioData,
        modelLoadFailed,
        modelCompilationFailed,
    };

    static ASRError processingFailed(const std::string& message);
    static ASRError unsupportedPlatform(const std::string& message);
    static ASRError streamingConversionFailed(std::exception_ptr underlying);
    static ASRError fileAccessFailed(const std::filesystem::path& url, std::exception_ptr underlying);
    static ASRError encoderInstantiationFailed(const std::string& message);
    static ASRError notInitialized();
    static ASRError invalidAudioData();
    static ASRError modelLoadFailed();
    static ASRError modelCompilationFailed();

    Kind kind() const { return kind_; }
    // The message of the kinds that carry one; empty otherwise.
    const std::string& message() const { return message_; }
    // The error behind streamingConversionFailed and fileAccessFailed; null otherwise.
    const std::exception_ptr& underlying() const { return underlying_; }
    // The file of fileAccessFailed; empty otherwise.
    const std::filesystem::path& url() const { return url_; }

private:
    ASRError(Kind kind, const std::string& description, std::string message = {}, std::exception_ptr underlying = {},
             std::filesystem::path url = {});

    Kind kind_;
    std::string message_;
    std::exception_ptr underlying_;
    std::filesystem::path url_;
};

} // namespace quorl
