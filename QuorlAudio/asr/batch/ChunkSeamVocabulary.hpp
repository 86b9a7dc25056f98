#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace quorl {

// What the chunk merger needs to know of a vocabulary to join two chunks at a seam: the pieces before which a
// seam may be cut without splitting a word, and which pieces differ only in letter case. Computed once per
// transcription and handed to every merge of it.
struct ChunkSeamVocabulary {
    using Vocabulary = std::unordered_map<int, std::string>;
    // Ids before which a seam may be cut without splitting a word.
    using SpliceSafeIds = std::unordered_set<int>;
    // Token id to the canonical id of its letter-case class.
    using CaseVariantIds = std::unordered_map<int, int>;

    // None for an empty vocabulary.
    static std::optional<SpliceSafeIds> spliceSafeTokenIds(const Vocabulary& vocabulary);
    static bool isSpliceSafePiece(std::string_view piece);
    static std::optional<CaseVariantIds> caseVariantCanonicalIds(const Vocabulary& vocabulary);
};

} // namespace quorl
