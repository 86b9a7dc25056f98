#pragma once

#include "platform/text/TextRange.hpp"

#include <unicode/uversion.h>

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

U_NAMESPACE_BEGIN
class RegexPattern;
U_NAMESPACE_END

namespace platform::text {

struct RegexOptions {
    bool caseInsensitive = false;
};

// One match of a regular expression: the byte ranges of the whole match and of each capture group in the
// searched UTF-8 text.
struct RegexMatch {
    // Entry 0 is the whole match, entry k group k; a group that took no part in the match has no range.
    std::vector<std::optional<TextRange>> groups;

    TextRange range() const;
    // What the group captured in `text` (the text that was searched); empty when the group took no part.
    std::string_view captured(std::string_view text, std::size_t group) const;
};

// A regular expression in ICU syntax: look-behind, Unicode classes (\d is any decimal digit, \s any white
// space), case-insensitive matching on request. Compiled once; any number of threads may search with it at the
// same time. Texts are UTF-8; a malformed sequence reads as U+FFFD and ranges stay offsets of the original bytes.
class Regex {
public:
    // Throws SystemError of domain "ICU" when the pattern does not compile.
    explicit Regex(std::string_view pattern, RegexOptions options = {});
    ~Regex();
    Regex(Regex&&) noexcept;
    Regex& operator=(Regex&&) noexcept;

    // Every match in the text, left to right, not overlapping.
    std::vector<RegexMatch> matches(std::string_view text) const;
    std::optional<RegexMatch> firstMatch(std::string_view text) const;
    // The text with every match replaced by `replacement`, taken literally (no group references).
    std::string replacingMatches(std::string_view text, std::string_view replacement) const;

private:
    template <class Visit> void search(std::string_view text, Visit visit) const;

    std::unique_ptr<icu::RegexPattern> pattern_;
};

} // namespace platform::text
