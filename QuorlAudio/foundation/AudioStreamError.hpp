#pragma once

#include "platform/core/Error.hpp"

#include <cstddef>
#include <functional>

namespace quorl {

// Configurations an AudioStream cannot be built with. The description is the platform's generic text naming
// the case by its position.
class AudioStreamError : public platform::core::Error {
public:
    enum class Kind { bufferTooSmall, invalidChunkSkip, invalidChunkDuration };

    static AudioStreamError bufferTooSmall();
    static AudioStreamError invalidChunkSkip();
    static AudioStreamError invalidChunkDuration();

    Kind kind() const { return kind_; }
    bool operator==(const AudioStreamError& other) const { return kind_ == other.kind_; }

private:
    explicit AudioStreamError(Kind kind);

    Kind kind_;
};

} // namespace quorl

template <> struct std::hash<quorl::AudioStreamError> {
    std::size_t operator()(const quorl::AudioStreamError& error) const noexcept {
        return std::hash<quorl::AudioStreamError::Kind>{}(error.kind());
    }
};
