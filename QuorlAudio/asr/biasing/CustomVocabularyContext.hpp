#pragma once

#include "QuorlAudio/asr/biasing/ContextBiasingConstants.hpp"
#include "QuorlAudio/asr/biasing/CtcModelVariant.hpp"
#include "QuorlAudio/asr/biasing/CtcModels.hpp"
#include "QuorlAudio/asr/biasing/CustomVocabularyTerm.hpp"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace quorl {

struct CustomVocabularyWithCtcModels;

// The custom vocabulary in use: its terms, in file order with duplicates allowed, and the thresholds that
// spotting and rescoring apply to it. A plain value; the loaders fill in the defaults a file leaves out.
struct CustomVocabularyContext {
    std::vector<CustomVocabularyTerm> terms;
    float alpha = ContextBiasingConstants::defaultAlpha;
    float minCtcScore = ContextBiasingConstants::defaultMinVocabCtcScore;
    float minSimilarity = ContextBiasingConstants::defaultMinSimilarity;
    float minCombinedConfidence = ContextBiasingConstants::defaultMinCombinedConfidence;
    // Terms whose text has fewer characters are neither spotted nor rescored.
    std::int64_t minTermLength = 3;

    // A JSON vocabulary ("terms" and optional thresholds). Term texts are cleaned, their warnings logged under
    // "CustomVocabulary", and terms that clean to nothing dropped. Read and JSON errors are thrown unchanged.
    static CustomVocabularyContext load(const std::filesystem::path& from);

    // A plain-text vocabulary: one term per line, aliases after a colon separated by commas, "#" lines are
    // comments. Every term weighs 10.0 and the thresholds are the defaults. Throws std::filesystem errors
    // for a file that cannot be read or is not UTF-8.
    static CustomVocabularyContext loadFromSimpleFormat(const std::filesystem::path& from);

    // JSON when the first byte after a byte-order mark and blanks is "{", plain text otherwise.
    static CustomVocabularyContext loadVocabularyFile(const std::filesystem::path& at);

    // Fetches and loads the variant's CTC models from their default folder, loads the vocabulary file at
    // `path` and gives every term its CTC token ids (its other token ids are dropped).
    static CustomVocabularyWithCtcModels loadWithCtcTokens(const std::string& path, CtcModelVariant ctcVariant);
};

// A vocabulary together with the CTC models its terms were tokenised for.
struct CustomVocabularyWithCtcModels {
    CustomVocabularyContext vocab;
    CtcModels models;
};

} // namespace quorl
