#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorl {

// A vocabulary term after cleaning, with what the cleaning noticed about it.
struct SanitizedTerm {
    std::string sanitized;
    std::vector<std::string> warnings;
};

// Cleans a term of a custom vocabulary. A term holding control or format characters loses every white-space
// character but the plain space ("contains control characters"); the other checks only warn, in this order:
// "contains diacritics - consider adding ASCII alias", "contains numbers", "contains unusual characters"
// (anything but letters, marks, spaces, tabs, "-" and "'"). Nothing is trimmed.
SanitizedTerm sanitizeVocabularyTerm(std::string_view term);

// Each alias cleaned, its warnings dropped, those that clean to nothing left out; absent when none remain.
std::optional<std::vector<std::string>> sanitizeAliases(const std::vector<std::string>& aliases);

} // namespace quorl
