#pragma once

#include "platform/core/Error.hpp"

#include <string>

namespace quorl {

// A transducer model answered without an output the decoder reads.
class RnntDecoderError : public platform::core::Error {
public:
    enum class Kind { missingOutput };

    static RnntDecoderError missingOutput(const std::string& name);

    Kind kind() const { return kind_; }
    // The name of the missing output.
    const std::string& name() const { return name_; }

private:
    RnntDecoderError(Kind kind, const std::string& description, std::string name);

    Kind kind_;
    std::string name_;
};

} // namespace quorl
