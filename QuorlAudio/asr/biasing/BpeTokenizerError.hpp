#pragma once

#include "platform/core/Error.hpp"

#include <filesystem>
#include <string>

namespace quorl {

// Failures of reading a "tokenizer.json" description.
class BpeTokenizerError : public platform::core::Error {
public:
    enum class Kind { fileNotFound, invalidJSON, missingField, unsupportedTokenizerType };

    static BpeTokenizerError fileNotFound(const std::filesystem::path& file);
    static BpeTokenizerError invalidJSON(const std::string& reason);
    static BpeTokenizerError missingField(const std::string& field);
    static BpeTokenizerError unsupportedTokenizerType(const std::string& type);

    Kind kind() const { return kind_; }

private:
    BpeTokenizerError(Kind kind, const std::string& description);

    Kind kind_;
};

} // namespace quorl
