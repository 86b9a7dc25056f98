#pragma once

#include <filesystem>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace quorl {

// The content of "us_lexicon_cache.json": {"lower": {word: [token, …]}, "caseSensitive": {word: [token, …]}},
// other keys ignored. Read as a stream of parse events, so a lexicon of many words never exists as a
// document tree, and filtered while it is read.
struct CachePayload {
    using Lexicon = std::unordered_map<std::string, std::vector<std::string>>;

    Lexicon lower;
    Lexicon caseSensitive;

    // Keeps, for every word, the tokens that are in `allowedTokens`, in file order with repeats; a word left
    // without tokens stays. Throws std::runtime_error naming the fault when the file cannot be read, is not
    // JSON, lacks one of the two keys or has another shape.
    static CachePayload read(const std::filesystem::path& file, const std::unordered_set<std::string>& allowedTokens);
};

} // namespace quorl
