#include "QuorlAudio/tts/frontend/G2PVocabulary.hpp"

#include "QuorlAudio/tts/frontend/G2PModelError.hpp"
#include "platform/core/JsonInt32.hpp"
#include "platform/text/DecimalInteger.hpp"
#include "platform/text/GraphemeClusters.hpp"

#include <nlohmann/json.hpp>

#include <algorithm>

namespace quorl {
namespace {

using nlohmann::json;

bool isObjectOf(const json& document, const char* key, bool (json::*isKind)() const noexcept) {
    const auto found = document.find(key);
    return found != document.end() && found->is_object() &&
           std::all_of(found->begin(), found->end(), [isKind](const json& value) { return (value.*isKind)(); });
}

// A model whose ids exceed 32 bits could never be run with the 32-bit inputs the models take.
std::int32_t checkedId(const json& id, const std::string& name) {
    if (!platform::core::fitsInt32(id)) {
        throw G2PModelError::vocabLoadFailed("id of '" + name + "' does not fit in 32 bits");
    }
    return static_cast<std::int32_t>(id.get<std::int64_t>());
}

void readSpecialId(const json& document, const char* key, std::int32_t& id) {
    const auto found = document.find(key);
    if (found != document.end() && found->is_number_integer()) {
        id = checkedId(*found, key);
    }
}

bool isOneCharacter(const std::string& key) { return platform::text::graphemeBoundaries(key).size() == 2; }

} // namespace

G2PVocabulary G2PVocabulary::parse(std::string_view text) {
    const auto document = json::parse(text);
    if (!document.is_object() || !isObjectOf(document, "grapheme_to_id", &json::is_number_integer) ||
        !isObjectOf(document, "id_to_phoneme", &json::is_string)) {
        throw G2PModelError::vocabLoadFailed("invalid JSON structure");
    }
    G2PVocabulary vocabulary;
    for (const auto& [grapheme, id] : document["grapheme_to_id"].items()) {
        if (isOneCharacter(grapheme)) {
            vocabulary.graphemeToId.insert_or_assign(grapheme, checkedId(id, grapheme));
        }
    }
    for (const auto& [key, phoneme] : document["id_to_phoneme"].items()) {
        if (const auto id = platform::text::decimalInteger(key)) {
            vocabulary.idToPhoneme.insert_or_assign(checkedId(json(*id), key), phoneme.get<std::string>());
        }
    }
    readSpecialId(document, "bos_token_id", vocabulary.bosTokenId);
    readSpecialId(document, "eos_token_id", vocabulary.eosTokenId);
    readSpecialId(document, "unk_token_id", vocabulary.unkTokenId);
    return vocabulary;
}

std::vector<std::int32_t> G2PVocabulary::inputIds(std::string_view word) const {
    std::vector<std::int32_t> ids{bosTokenId};
    for (const auto character : platform::text::graphemeClusterViews(word)) {
        const auto found = graphemeToId.find(std::string(character));
        ids.push_back(found == graphemeToId.end() ? unkTokenId : found->second);
    }
    ids.push_back(eosTokenId);
    return ids;
}

std::vector<std::string> G2PVocabulary::phonemes(std::span<const std::int32_t> ids) const {
    std::vector<std::string> tokens;
    for (const auto id : ids) {
        if (id == 0 || id == bosTokenId || id == eosTokenId || id == unkTokenId) {
            continue;
        }
        if (const auto found = idToPhoneme.find(id); found != idToPhoneme.end()) {
            tokens.push_back(found->second);
        }
    }
    return tokens;
}

} // namespace quorl
