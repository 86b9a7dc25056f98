#include "QuorlAudio/asr/batch/ChunkSeamVocabulary.hpp"

#include "QuorlAudio/foundation/ASRConstants.hpp"
#include "platform/text/CaseMapping.hpp"
#include "platform/text/CharacterCategory.hpp"
#include "platform/text/Normalization.hpp"
#include "platform/text/Utf8.hpp"

#include <algorithm>
#include <cstddef>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace quorl {
namespace {

// Ids in ascending order, so that the analyses do not depend on the map's hashing.
std::vector<int> sortedIds(const ChunkSeamVocabulary::Vocabulary& vocabulary) {
    std::vector<int> ids;
    ids.reserve(vocabulary.size());
    for (const auto& entry : vocabulary) {
        ids.push_back(entry.first);
    }
    std::ranges::sort(ids);
    return ids;
}

// The ids of pieces that are equal once lower-cased, with that lower-case form in NFC so that canonically
// equivalent spellings fall into one class.
struct CaseClass {
    std::string key;
    std::vector<int> ids;
};

std::vector<CaseClass> caseClasses(const ChunkSeamVocabulary::Vocabulary& vocabulary) {
    std::vector<CaseClass> classes;
    std::unordered_map<std::string, std::size_t> classIndex;
    for (const int id : sortedIds(vocabulary)) {
        std::string key = platform::text::nfc(platform::text::lowercased(vocabulary.at(id)));
        const auto [position, added] = classIndex.try_emplace(key, classes.size());
        if (added) {
            classes.push_back(CaseClass{.key = std::move(key), .ids = {}});
        }
        classes[position->second].ids.push_back(id);
    }
    return classes;
}

// The first id whose piece is already in lower case; the smallest id when none is.
int canonicalId(const CaseClass& caseClass, const ChunkSeamVocabulary::Vocabulary& vocabulary) {
    const auto lowerCase = std::ranges::find_if(
        caseClass.ids, [&](int id) { return platform::text::nfc(vocabulary.at(id)) == caseClass.key; });
    return lowerCase != caseClass.ids.end() ? *lowerCase : std::ranges::min(caseClass.ids);
}

} // namespace

std::optional<ChunkSeamVocabulary::SpliceSafeIds>
ChunkSeamVocabulary::spliceSafeTokenIds(const Vocabulary& vocabulary) {
    if (vocabulary.empty()) {
        return std::nullopt;
    }
    SpliceSafeIds ids;
    for (const auto& [id, piece] : vocabulary) {
        if (isSpliceSafePiece(piece)) {
            ids.insert(id);
        }
    }
    return ids;
}

bool ChunkSeamVocabulary::isSpliceSafePiece(std::string_view piece) {
    if (piece.empty()) {
        return false;
    }
    if (piece.starts_with(ASRConstants::sentencePieceWordBoundary) || piece.starts_with(' ')) {
        return true;
    }
    return std::ranges::all_of(platform::text::decodeScalars(piece), [](char32_t scalar) {
        return platform::text::isPunctuation(scalar) || platform::text::isSymbol(scalar);
    });
}

std::optional<ChunkSeamVocabulary::CaseVariantIds>
ChunkSeamVocabulary::caseVariantCanonicalIds(const Vocabulary& vocabulary) {
    CaseVariantIds canonical;
    for (const CaseClass& caseClass : caseClasses(vocabulary)) {
        if (caseClass.ids.size() < 2) {
            continue;
        }
        const int canonicalMember = canonicalId(caseClass, vocabulary);
        for (const int id : caseClass.ids) {
            canonical.emplace(id, canonicalMember);
        }
    }
    if (canonical.empty()) {
        return std::nullopt;
    }
    return canonical;
}

} // namespace quorl
