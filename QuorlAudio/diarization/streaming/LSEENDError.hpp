#pragma once

#include "platform/core/Error.hpp"

#include <string>

namespace quorl {

// Failures of the LS-EEND model, its feature provider and its diarizer. The message of a case with a payload
// is the payload itself.
class LSEENDError : public platform::core::Error {
public:
    enum class Kind {
        initializationFailed,
        inferenceFailed,
        invalidInputSize,
        notInitialized,
    };

    static LSEENDError initializationFailed(const std::string& message);
    static LSEENDError inferenceFailed(const std::string& message);
    static LSEENDError invalidInputSize(const std::string& message);
    static LSEENDError notInitialized();

    Kind kind() const { return kind_; }

private:
    LSEENDError(Kind kind, const std::string& description);

    Kind kind_;
};

} // namespace quorl
