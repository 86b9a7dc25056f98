#pragma once

#include "platform/core/Error.hpp"

#include <string>

namespace quorl {

// Failures of the offline diarizer and of each of its stages.
class OfflineDiarizationError : public platform::core::Error {
public:
    enum class Kind {
        modelNotLoaded,
        invalidConfiguration,
        invalidBatchSize,
        processingFailed,
        exportFailed,
        noSpeechDetected,
    };

    static OfflineDiarizationError modelNotLoaded(const std::string& detail);
    static OfflineDiarizationError invalidConfiguration(const std::string& detail);
    static OfflineDiarizationError invalidBatchSize(const std::string& detail);
    static OfflineDiarizationError processingFailed(const std::string& detail);
    static OfflineDiarizationError exportFailed(const std::string& detail);
    static OfflineDiarizationError noSpeechDetected();

    Kind kind() const { return kind_; }
    // The detail of the cases that carry one; empty for noSpeechDetected.
    const std::string& detail() const { return detail_; }

private:
    OfflineDiarizationError(Kind kind, const std::string& description, std::string detail = {});

    Kind kind_;
    std::string detail_;
};

} // namespace quorl
