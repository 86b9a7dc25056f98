#pragma once

#include "platform/core/Error.hpp"

#include <string>

namespace quorl {

// The error of the multilingual grapheme-to-phoneme model. what() is the case's fixed description; a failed
// prediction never carries the runtime's own error.
class MultilingualG2PError : public platform::core::Error {
public:
    enum class Kind { modelLoadFailed, encoderPredictionFailed, decoderPredictionFailed };

    static MultilingualG2PError modelLoadFailed(const std::string& text);
    static MultilingualG2PError encoderPredictionFailed();
    static MultilingualG2PError decoderPredictionFailed();

    Kind kind() const { return kind_; }

private:
    MultilingualG2PError(Kind kind, const std::string& description);

    Kind kind_;
};

} // namespace quorl
