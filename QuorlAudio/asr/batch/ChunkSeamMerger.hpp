#pragma once

#include "QuorlAudio/asr/batch/ChunkSeamVocabulary.hpp"
#include "QuorlAudio/asr/batch/DecodedToken.hpp"
#include "QuorlAudio/asr/batch/SequenceMatch.hpp"

#include <optional>
#include <vector>

namespace quorl {

// Joins the tokens of consecutive overlapping chunks into one list: matched at their overlap, cut where no
// word is split, and rid of a word both chunks decoded at the seam. A value: none of its operations changes it.
struct ChunkSeamMerger {
    using Vocabulary = ChunkSeamVocabulary::Vocabulary;
    using SpliceSafeIds = ChunkSeamVocabulary::SpliceSafeIds;
    using CaseVariantIds = ChunkSeamVocabulary::CaseVariantIds;

    // Target overlap of consecutive chunks: the width of the merge window.
    double overlapSeconds = 0;

    std::vector<DecodedToken> mergeChunks(const std::vector<DecodedToken>& left, const std::vector<DecodedToken>& right,
                                          const std::optional<SpliceSafeIds>& spliceSafeTokenIds,
                                          const std::optional<CaseVariantIds>& caseVariantIds) const;
    std::vector<DecodedToken> collapseSeamWordDuplicates(const std::vector<DecodedToken>& tokens,
                                                         const Vocabulary& vocabulary) const;
    // Ascending and stable: tokens with equal timestamps keep their order.
    static void sortByTimestamp(std::vector<DecodedToken>& tokens);

private:
    // A token of a chunk's overlap region, with its position in its own chunk's list and its span in seconds.
    struct IndexedToken {
        int index = 0;
        DecodedToken token;
        double start = 0;
        double end = 0;
    };

    bool tokensMatch(const IndexedToken& left, const IndexedToken& right,
                     const std::optional<CaseVariantIds>& caseVariantIds) const;
    // Joins the chunks at matched pairs of overlap tokens, given in increasing order of both positions.
    static std::vector<DecodedToken>
    mergeUsingMatches(const std::vector<SequenceMatch>& matches, const std::vector<IndexedToken>& overlapLeft,
                      const std::vector<IndexedToken>& overlapRight, const std::vector<DecodedToken>& left,
                      const std::vector<DecodedToken>& right, const std::optional<SpliceSafeIds>& spliceSafeTokenIds);
    // Continues the merged tokens after the last matched pair without splitting the word open there.
    static void appendSeamTail(std::vector<DecodedToken>& merged, int lastLeft, int lastRight,
                               const std::vector<DecodedToken>& left, const std::vector<DecodedToken>& right,
                               const std::optional<SpliceSafeIds>& spliceSafeTokenIds);
    // The last position at or before `endingAt` whose token is splice-safe.
    static std::optional<int> wordInitialIndex(const std::vector<DecodedToken>& tokens, int endingAt,
                                               const SpliceSafeIds& safeIds);
    // Removes the last word: everything from the last splice-safe token on. False, with the tokens unchanged,
    // when there is none.
    static bool popSeamWord(std::vector<DecodedToken>& tokens, const SpliceSafeIds& safeIds);
};

} // namespace quorl
