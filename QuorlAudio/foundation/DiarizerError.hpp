#pragma once

#include "platform/core/Error.hpp"

#include <string>

namespace quorl {

// Failures of speaker diarization. It lives in the foundation because the aligned-memory utilities report
// their allocation and view failures with it.
class DiarizerError : public platform::core::Error {
public:
    enum class Kind {
        processingFailed,
        notInitialized,
        modelDownloadFailed,
        modelCompilationFailed,
        embeddingExtractionFailed,
        invalidAudioData,
        memoryAllocationFailed,
        invalidArrayBounds,
    };

    static DiarizerError processingFailed(const std::string& message);
    static DiarizerError notInitialized();
    static DiarizerError modelDownloadFailed();
    static DiarizerError modelCompilationFailed();
    static DiarizerError embeddingExtractionFailed();
    static DiarizerError invalidAudioData();
    static DiarizerError memoryAllocationFailed();
    static DiarizerError invalidArrayBounds();

    Kind kind() const { return kind_; }
    // The message of processingFailed; empty for the other kinds.
    const std::string& message() const { return message_; }

private:
    DiarizerError(Kind kind, const std::string& description, std::string message = {});

    Kind kind_;
    std::string message_;
};

} // namespace quorl
