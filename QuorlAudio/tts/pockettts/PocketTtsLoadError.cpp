#include "QuorlAudio/tts/pockettts/PocketTtsLoadError.hpp"

#include "platform/core/Concatenated.hpp"

#include <utility>

namespace quorl::PocketTtsConstantsLoader {
namespace {

std::string describe(LoadError::Kind kind, const std::string& text, std::int64_t expected, std::int64_t actual) {
    using platform::core::concatenated;
    switch (kind) {
    case LoadError::Kind::fileNotFound: return concatenated({"File not found: ", text});
    case LoadError::Kind::invalidSize:
        return concatenated({"Invalid size: ", text, " (expected ", std::to_string(expected), ", actual ",
                             std::to_string(actual), ")"});
    case LoadError::Kind::malformed: return concatenated({"Malformed: ", text});
    case LoadError::Kind::tokenizerLoadFailed: return concatenated({"Tokenizer load failed: ", text});
    }
    return text;
}

} // namespace

LoadError::LoadError(Kind kind, std::string text, std::int64_t expected, std::int64_t actual)
    : platform::core::Error(describe(kind, text, expected, actual)), kind_(kind), text_(std::move(text)),
      expected_(expected), actual_(actual) {}

LoadError LoadError::fileNotFound(const std::string& name) { return LoadError(Kind::fileNotFound, name, 0, 0); }

LoadError LoadError::invalidSize(const std::string& text, std::int64_t expected, std::int64_t actual) {
    return LoadError(Kind::invalidSize, text, expected, actual);
}

LoadError LoadError::malformed(const std::string& text) { return LoadError(Kind::malformed, text, 0, 0); }

LoadError LoadError::tokenizerLoadFailed(const std::string& description) {
    return LoadError(Kind::tokenizerLoadFailed, description, 0, 0);
}

} // namespace quorl::PocketTtsConstantsLoader
