#pragma once

#include "platform/core/Error.hpp"

#include <string>

namespace quorl {

// Failures of every Sortformer component: the model loader, the state updater and both diarizers.
class SortformerError : public platform::core::Error {
public:
    enum class Kind {
        modelLoadFailed,
        preprocessorFailed,
        inferenceFailed,
        invalidState,
        configurationError,
        insufficientChunkLength,
        insufficientPredsLength,
        notInitialized,
        invalidAudioData,
    };

    static SortformerError modelLoadFailed(const std::string& detail);
    static SortformerError preprocessorFailed(const std::string& detail);
    static SortformerError inferenceFailed(const std::string& detail);
    static SortformerError invalidState(const std::string& detail);
    static SortformerError configurationError(const std::string& detail);
    static SortformerError insufficientChunkLength(const std::string& detail);
    static SortformerError insufficientPredsLength(const std::string& detail);
    static SortformerError notInitialized();
    static SortformerError invalidAudioData();

    Kind kind() const { return kind_; }
    // The detail of the cases that carry one; empty for the others.
    const std::string& detail() const { return detail_; }

private:
    SortformerError(Kind kind, const std::string& description, std::string detail = {});

    Kind kind_;
    std::string detail_;
};

} // namespace quorl
