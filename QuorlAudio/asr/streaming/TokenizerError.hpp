#pragma once

#include "platform/core/Error.hpp"

#include <filesystem>

namespace quorl {

// A vocabulary file that parses as JSON but is not an object of token pieces.
class TokenizerError : public platform::core::Error {
public:
    enum class Kind { invalidVocabulary };

    static TokenizerError invalidVocabulary(const std::filesystem::path& path);

    Kind kind() const { return kind_; }

private:
    TokenizerError(Kind kind, const std::string& description);

    Kind kind_;
};

} // namespace quorl
