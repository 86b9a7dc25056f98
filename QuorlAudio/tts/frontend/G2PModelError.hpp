#pragma once

#include "platform/core/Error.hpp"

#include <string>

namespace quorl {

// The error of the English grapheme-to-phoneme model. what() is the case's fixed description; a failed
// prediction never carries the runtime's own error.
class G2PModelError : public platform::core::Error {
public:
    enum class Kind { vocabLoadFailed, modelLoadFailed, encoderPredictionFailed, decoderPredictionFailed };

    static G2PModelError vocabLoadFailed(const std::string& text);
    static G2PModelError modelLoadFailed(const std::string& text);
    static G2PModelError encoderPredictionFailed();
    static G2PModelError decoderPredictionFailed();

    Kind kind() const { return kind_; }

private:
    G2PModelError(Kind kind, const std::string& description);

    Kind kind_;
};

} // namespace quorl
