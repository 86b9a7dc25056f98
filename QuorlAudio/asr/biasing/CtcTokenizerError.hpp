#pragma once

#include "platform/core/Error.hpp"

#include <exception>
#include <filesystem>
#include <string>

namespace quorl {

// Failures of loading the CTC tokenizer of a model folder.
class CtcTokenizerError : public platform::core::Error {
public:
    enum class Kind { tokenizerNotFound, missingFile, initializationFailed, applicationSupportNotFound };

    static CtcTokenizerError tokenizerNotFound(const std::filesystem::path& directory);
    static CtcTokenizerError missingFile(const std::string& name, const std::filesystem::path& directory);
    // Carries the error that reading the description threw.
    static CtcTokenizerError initializationFailed(std::exception_ptr underlying);
    static CtcTokenizerError applicationSupportNotFound();

    Kind kind() const { return kind_; }
    // The error behind initializationFailed; null for the other cases.
    std::exception_ptr underlying() const { return underlying_; }

private:
    CtcTokenizerError(Kind kind, const std::string& description, std::exception_ptr underlying = nullptr);

    Kind kind_;
    std::exception_ptr underlying_;
};

} // namespace quorl
