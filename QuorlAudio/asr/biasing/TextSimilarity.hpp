#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

// How context biasing compares written text: the one definition that the candidate search, the CTC match
// evaluation and the rescoring passes share.
namespace quorl {

// The text lower-cased and reduced to words of letters, marks, numbers, apostrophes and hyphens, separated by
// single spaces. Tabs, line feeds and spaces separate words; every other character is dropped, so punctuation
// between two letters joins them ("a.b" gives "ab").
std::string normalizeForSimilarity(std::string_view text);

// The number of characters (extended grapheme clusters): how context biasing measures lengths.
std::size_t characterCount(std::string_view text);

// 1 − edit distance ÷ the longer length, over the lower-cased characters; 1 for two empty texts.
float stringSimilarity(std::string_view first, std::string_view second);

// The same over texts already split into lower-cased characters (StringUtils::characters of lower-cased text),
// for callers that compare one text with many.
float characterSimilarity(std::span<const std::string> first, std::span<const std::string> second);

// `replacement` with its first character capitalised when `original` starts with a capital and the
// replacement with a lower-case letter; unchanged otherwise. Only the first characters are looked at.
std::string preserveCapitalization(std::string_view original, std::string_view replacement);

} // namespace quorl
