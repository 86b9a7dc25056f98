#pragma once

#include "platform/core/Error.hpp"

#include <cstdint>
#include <string>

namespace quorl {

// Why the state engine could not use its model state: a buffer of the wrong size or element type, or a frame
// function that did not answer what it must. The text names the case and its payload.
class PocketTtsStateError : public platform::core::Error {
public:
    enum class Kind { stateBufferMismatch, unsupportedStateLayout, missingOutput };

    static PocketTtsStateError stateBufferMismatch(const std::string& name, std::int64_t expected, std::int64_t actual);
    static PocketTtsStateError unsupportedStateLayout(const std::string& name);
    static PocketTtsStateError missingOutput(const std::string& name);

    Kind kind() const { return kind_; }
    // The state buffer's or the output's name.
    const std::string& name() const { return name_; }
    std::int64_t expected() const { return expected_; }
    std::int64_t actual() const { return actual_; }

private:
    PocketTtsStateError(Kind kind, std::string name, std::int64_t expected, std::int64_t actual);

    Kind kind_;
    std::string name_;
    std::int64_t expected_;
    std::int64_t actual_;
};

} // namespace quorl
