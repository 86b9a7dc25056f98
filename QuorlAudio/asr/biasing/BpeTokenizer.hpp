#pragma once

#include "QuorlAudio/asr/biasing/BpeTokenizerError.hpp"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace quorl {

// The byte-pair-encoding tokenizer described by a "tokenizer.json": turns a text into token ids by merging
// its characters pair by pair, lowest merge rank first. Never changes after loading.
class BpeTokenizer {
public:
    using Error = BpeTokenizerError;
    using Merge = std::pair<std::string, std::string>;

    // Reads "tokenizer.json" in `directory`. Throws Error for a missing file or a description that is not a
    // BPE model; read and JSON errors pass through unchanged.
    static BpeTokenizer load(const std::filesystem::path& directory);

    // The merge ranks view the merge strings, so a tokenizer moves but is never copied; holders share one.
    BpeTokenizer(BpeTokenizer&&) = default;
    BpeTokenizer(const BpeTokenizer&) = delete;
    BpeTokenizer& operator=(const BpeTokenizer&) = delete;

    // How to encode, written with designated initialisers: `{.prependWordBoundary = true}`.
    struct EncodeOptions {
        // Adds nothing: the model has no special tokens at either end.
        bool addSpecialTokens = false;
        // One more word-boundary marker in front of the text.
        bool prependWordBoundary = false;
    };

    // The ids of the text, lower-cased and in NFKC, spaces written as the word-boundary marker "▁", with one
    // more marker in front when asked. A piece known to neither map takes the id of "<unk>", or 0.
    std::vector<std::int64_t> encode(std::string_view text, const EncodeOptions& options) const;

    const std::unordered_map<std::string, std::int64_t>& vocab() const { return vocab_; }
    // In file order; a pair's rank is the position of its first occurrence.
    const std::vector<Merge>& merges() const { return merges_; }
    const std::unordered_map<std::string, std::int64_t>& addedTokens() const { return addedTokens_; }

private:
    struct MergeHash {
        std::size_t operator()(const std::pair<std::string_view, std::string_view>& merge) const;
    };
    // Keys view the strings of merges_, which never change after loading.
    using MergeRanks = std::unordered_map<std::pair<std::string_view, std::string_view>, std::size_t, MergeHash>;

    BpeTokenizer(std::unordered_map<std::string, std::int64_t> vocab, std::vector<Merge> merges,
                 std::unordered_map<std::string, std::int64_t> addedTokens);

    std::vector<std::string> mergedPieces(std::vector<std::string> pieces) const;
    std::int64_t idOf(const std::string& piece) const;

    std::unordered_map<std::string, std::int64_t> vocab_;
    std::vector<Merge> merges_;
    std::unordered_map<std::string, std::int64_t> addedTokens_;
    MergeRanks ranks_;
};

} // namespace quorl
