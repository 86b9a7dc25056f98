#include "QuorlAudio/diarization/streaming/LSEENDError.hpp"

namespace quorl {

LSEENDError::LSEENDError(Kind kind, const std::string& description) : Error(description), kind_(kind) {}

LSEENDError LSEENDError::initializationFailed(const std::string& message) {
    return LSEENDError(Kind::initializationFailed, message);
}

LSEENDError LSEENDError::inferenceFailed(const std::string& message) {
    return LSEENDError(Kind::inferenceFailed, message);
}

LSEENDError LSEENDError::invalidInputSize(const std::string& message) {
    return LSEENDError(Kind::invalidInputSize, message);
}

LSEENDError LSEENDError::notInitialized() {
    return LSEENDError(Kind::notInitialized,
                       "The operation couldn\u2019t be completed. (QuorlAudio.LSEENDError error 3.)");
}

} // namespace quorl
