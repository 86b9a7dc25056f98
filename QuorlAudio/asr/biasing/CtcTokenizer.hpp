#pragma once

#include "QuorlAudio/asr/biasing/BpeTokenizer.hpp"
#include "QuorlAudio/asr/biasing/CtcTokenizerError.hpp"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string_view>
#include <vector>

namespace quorl {

// The CTC model's sub-word tokenizer as context biasing uses it: spells vocabulary terms and transcript words
// in CTC token ids, with or without the leading word-boundary marker. Copies share one loaded tokenizer.
class CtcTokenizer {
public:
    using Error = CtcTokenizerError;

    // Reads "tokenizer.json" in `directory`. Throws Error::tokenizerNotFound when it is absent and
    // Error::initializationFailed, carrying the cause, when it cannot be read as a BPE description.
    static CtcTokenizer load(const std::filesystem::path& directory);
    // The same from getCtcModelDirectory().
    static CtcTokenizer load();

    // Application Support / "QuorlAudio" / "Models" / "parakeet-ctc-110m-coreml", whatever the variant;
    // nothing is created or checked. Throws Error::applicationSupportNotFound when there is no such folder.
    static std::filesystem::path getCtcModelDirectory();

    // With the word-boundary marker in front: never empty.
    std::vector<std::int64_t> encode(std::string_view text) const;
    // Without it: empty for an empty text.
    std::vector<std::int64_t> encodeWithoutBoundary(std::string_view text) const;
    // The boundary encoding, then the other one unless both are the same.
    std::vector<std::vector<std::int64_t>> encodeVariants(std::string_view text) const;

    const BpeTokenizer& bpeTokenizer() const { return *bpeTokenizer_; }

private:
    explicit CtcTokenizer(std::shared_ptr<const BpeTokenizer> bpeTokenizer);

    std::shared_ptr<const BpeTokenizer> bpeTokenizer_;
};

} // namespace quorl
