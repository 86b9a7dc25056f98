#include "QuorlAudio/asr/streaming/Tokenizer.hpp"

#include "QuorlAudio/asr/streaming/TokenizerError.hpp"
#include "platform/text/Utf8.hpp"
#include "platform/text/WhiteSpace.hpp"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <charconv>
#include <fstream>
#include <string_view>
#include <system_error>

namespace quorl {
namespace {

constexpr std::string_view wordBoundary = "\u2581";

nlohmann::json readJson(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file.is_open()) {
        throw std::filesystem::filesystem_error("Cannot read the vocabulary", path,
                                                std::error_code(errno, std::generic_category()));
    }
    return nlohmann::json::parse(file);
}

// An optional sign, then ASCII digits only, within the signed 64-bit range.
std::optional<std::int64_t> tokenId(std::string_view key) {
    const bool signedKey = key.starts_with('+') || key.starts_with('-');
    const std::string_view digits = signedKey ? key.substr(1) : key;
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string_view::npos) {
        return std::nullopt;
    }
    // from_chars takes a minus sign but no plus sign.
    const std::string_view number = key.starts_with('+') ? digits : key;
    std::int64_t id = 0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), id);
    if (error != std::errc() || end != number.data() + number.size()) {
        return std::nullopt;
    }
    return id;
}

std::string withSpacesForWordBoundaries(std::string_view text) {
    std::string spaced;
    spaced.reserve(text.size());
    for (std::size_t position = 0; position < text.size();) {
        if (text.substr(position).starts_with(wordBoundary)) {
            spaced += ' ';
            position += wordBoundary.size();
        } else {
            spaced += text[position++];
        }
    }
    return spaced;
}

} // namespace

Tokenizer::Tokenizer(const std::filesystem::path& vocabPath) {
    const nlohmann::json document = readJson(vocabPath);
    if (!document.is_object()) {
        throw TokenizerError::invalidVocabulary(vocabPath);
    }
    for (const auto& [key, value] : document.items()) {
        if (!value.is_string()) {
            throw TokenizerError::invalidVocabulary(vocabPath);
        }
        vocab_.emplace(key, value.get<std::string>());
    }
    for (const auto& [key, piece] : vocab_) {
        if (const auto id = tokenId(key)) {
            idToToken_[*id] = piece;
        }
    }
}

std::string Tokenizer::decode(std::span<const std::int64_t> ids) const {
    std::string text;
    for (const std::int64_t id : ids) {
        if (const auto found = idToToken_.find(id); found != idToToken_.end()) {
            text += found->second;
        }
    }
    const std::u32string scalars = platform::text::decodeScalars(withSpacesForWordBoundaries(text));
    return platform::text::encodeScalars(platform::text::trimmingBlanks(scalars));
}

std::optional<std::string> Tokenizer::piece(std::int64_t id) const {
    const auto found = idToToken_.find(id);
    return found == idToToken_.end() ? std::nullopt : std::optional(found->second);
}

std::optional<std::string> Tokenizer::spacedPiece(std::int64_t id) const {
    const auto found = idToToken_.find(id);
    return found == idToToken_.end() ? std::nullopt : std::optional(withSpacesForWordBoundaries(found->second));
}

} // namespace quorl
