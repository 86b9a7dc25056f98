#include "QuorlAudio/asr/streaming/UnifiedWindowMerger.hpp"

#include "QuorlAudio/asr/batch/ChunkSeamVocabulary.hpp"

#include <limits>

namespace quorl {
namespace {

// The tokenizer's ids that the merge rules can hold.
ChunkSeamMerger::Vocabulary mergeVocabulary(const Tokenizer& tokenizer) {
    ChunkSeamMerger::Vocabulary vocabulary;
    for (const auto& [id, piece] : tokenizer.idToToken()) {
        if (id >= std::numeric_limits<int>::min() && id <= std::numeric_limits<int>::max()) {
            vocabulary.emplace(static_cast<int>(id), piece);
        }
    }
    return vocabulary;
}

} // namespace

UnifiedWindowMerger::UnifiedWindowMerger(const Tokenizer& tokenizer, double overlapSeconds)
    : tokenizer_(tokenizer), seamMerger_{.overlapSeconds = overlapSeconds}, vocabulary_(mergeVocabulary(tokenizer)),
      spliceSafeIds_(ChunkSeamVocabulary::spliceSafeTokenIds(vocabulary_)),
      caseVariantIds_(ChunkSeamVocabulary::caseVariantCanonicalIds(vocabulary_)) {}

void UnifiedWindowMerger::append(const std::vector<DecodedToken>& window) {
    merged_ = merged_.empty() ? window : seamMerger_.mergeChunks(merged_, window, spliceSafeIds_, caseVariantIds_);
}

std::string UnifiedWindowMerger::text() const {
    std::vector<DecodedToken> ordered = merged_;
    ChunkSeamMerger::sortByTimestamp(ordered);
    std::vector<std::int64_t> ids;
    for (const auto& token : seamMerger_.collapseSeamWordDuplicates(ordered, vocabulary_)) {
        ids.push_back(token.token);
    }
    return tokenizer_.decode(ids);
}

} // namespace quorl
