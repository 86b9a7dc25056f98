#include "QuorlAudio/asr/streaming/RnntDecoderError.hpp"

#include <utility>

namespace quorl {

RnntDecoderError::RnntDecoderError(Kind kind, const std::string& description, std::string name)
    : Error(description), kind_(kind), name_(std::move(name)) {}

RnntDecoderError RnntDecoderError::missingOutput(const std::string& name) {
    return RnntDecoderError(Kind::missingOutput, "RNNT decoder missing expected output: " + name, name);
}

} // namespace quorl
