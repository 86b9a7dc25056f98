#pragma once

#include "QuorlAudio/asr/batch/ChunkSeamMerger.hpp"
#include "QuorlAudio/asr/batch/DecodedToken.hpp"
#include "QuorlAudio/asr/streaming/Tokenizer.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quorl {

// Joins the offline recogniser's overlapping windows into one transcript with the batch recogniser's seam
// rules: each window's tokens are merged into those before it, then the tokens are put in time order, words
// repeated across a seam are collapsed and the pieces become text.
class UnifiedWindowMerger {
public:
    UnifiedWindowMerger(const Tokenizer& tokenizer, double overlapSeconds);

    // The tokens of the next window, on the recording's global frame axis.
    void append(const std::vector<DecodedToken>& window);
    // The transcript of everything appended, trimmed of blanks at both ends.
    std::string text() const;

private:
    const Tokenizer& tokenizer_;
    ChunkSeamMerger seamMerger_;
    ChunkSeamMerger::Vocabulary vocabulary_;
    std::optional<ChunkSeamMerger::SpliceSafeIds> spliceSafeIds_;
    std::optional<ChunkSeamMerger::CaseVariantIds> caseVariantIds_;
    std::vector<DecodedToken> merged_;
};

} // namespace quorl
