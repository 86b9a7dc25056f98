#include "QuorlAudio/tts/pockettts/PocketTtsStateError.hpp"

#include "platform/core/Concatenated.hpp"

#include <utility>

namespace quorl {
namespace {

std::string describe(PocketTtsStateError::Kind kind, const std::string& name, std::int64_t expected,
                     std::int64_t actual) {
    using platform::core::concatenated;
    switch (kind) {
    case PocketTtsStateError::Kind::stateBufferMismatch:
        return concatenated({"stateBufferMismatch(name: ", name, ", expected: ", std::to_string(expected),
                             ", actual: ", std::to_string(actual), ")"});
    case PocketTtsStateError::Kind::unsupportedStateLayout: return concatenated({"unsupportedStateLayout(", name, ")"});
    case PocketTtsStateError::Kind::missingOutput: return concatenated({"missingOutput(", name, ")"});
    }
    return name;
}

} // namespace

PocketTtsStateError::PocketTtsStateError(Kind kind, std::string name, std::int64_t expected, std::int64_t actual)
    : platform::core::Error(describe(kind, name, expected, actual)), kind_(kind), name_(std::move(name)),
      expected_(expected), actual_(actual) {}

PocketTtsStateError PocketTtsStateError::stateBufferMismatch(const std::string& name, std::int64_t expected,
                                                             std::int64_t actual) {
    return PocketTtsStateError(Kind::stateBufferMismatch, name, expected, actual);
}

PocketTtsStateError PocketTtsStateError::unsupportedStateLayout(const std::string& name) {
    return PocketTtsStateError(Kind::unsupportedStateLayout, name, 0, 0);
}

PocketTtsStateError PocketTtsStateError::missingOutput(const std::string& name) {
    return PocketTtsStateError(Kind::missingOutput, name, 0, 0);
}

} // namespace quorl
