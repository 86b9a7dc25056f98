#include "QuorlAudio/foundation/TokenVocabulary.hpp"

#include <charconv>
#include <string_view>
#include <system_error>

namespace quorl {
namespace {

// A signed decimal integer and nothing else: an optional sign, then digits only. Ids beyond the range of
// a token id do not parse.
std::optional<int> tokenId(std::string_view key) {
    const bool signedKey = key.starts_with('+') || key.starts_with('-');
    const std::string_view digits = signedKey ? key.substr(1) : key;
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string_view::npos) {
        return std::nullopt;
    }
    // from_chars takes a minus sign but no plus sign.
    const std::string_view number = key.starts_with('+') ? digits : key;
    int id = 0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), id);
    if (error != std::errc() || end != number.data() + number.size()) {
        return std::nullopt;
    }
    return id;
}

bool holdsOnlyStrings(const nlohmann::json& document) {
    for (const auto& element : document) {
        if (!element.is_string()) {
            return false;
        }
    }
    return true;
}

} // namespace

std::optional<TokenVocabulary> tokenVocabulary(const nlohmann::json& document) {
    if (!(document.is_array() || document.is_object()) || !holdsOnlyStrings(document)) {
        return std::nullopt;
    }
    TokenVocabulary vocabulary;
    if (document.is_array()) {
        int id = 0;
        for (const auto& piece : document) {
            vocabulary.insert_or_assign(id++, piece.get<std::string>());
        }
        return vocabulary;
    }
    for (const auto& [key, piece] : document.items()) {
        if (const auto id = tokenId(key)) {
            vocabulary.insert_or_assign(*id, piece.get<std::string>());
        }
    }
    return vocabulary;
}

} // namespace quorl
