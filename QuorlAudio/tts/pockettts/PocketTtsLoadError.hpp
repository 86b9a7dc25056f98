#pragma once

#include "platform/core/Error.hpp"

#include <cstdint>
#include <string>

namespace quorl::PocketTtsConstantsLoader {

// Why a language pack's constants or a voice file could not be read. The text says what is missing or wrong;
// a size fault also carries the expected and the actual count.
class LoadError : public platform::core::Error {
public:
    enum class Kind { fileNotFound, invalidSize, malformed, tokenizerLoadFailed };

    static LoadError fileNotFound(const std::string& name);
    static LoadError invalidSize(const std::string& text, std::int64_t expected, std::int64_t actual);
    static LoadError malformed(const std::string& text);
    static LoadError tokenizerLoadFailed(const std::string& description);

    Kind kind() const { return kind_; }
    const std::string& text() const { return text_; }
    std::int64_t expected() const { return expected_; }
    std::int64_t actual() const { return actual_; }

private:
    LoadError(Kind kind, std::string text, std::int64_t expected, std::int64_t actual);

    Kind kind_;
    std::string text_;
    std::int64_t expected_;
    std::int64_t actual_;
};

} // namespace quorl::PocketTtsConstantsLoader
