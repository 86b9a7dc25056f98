#pragma once

#include <functional>
#include <set>
#include <string>
#include <string_view>

// How the English phonemisers decide to read a word by its letter names.
namespace quorl::EnglishInitialisms {

// Words always read letter by letter, whatever a lexicon says: "AI" and "US", as written.
const std::set<std::string, std::less<>>& letterNameOverrides();

// Whether a word no lexicon knows may be read letter by letter: two to five characters, each a capital A to Z.
bool isCandidate(std::string_view word);

} // namespace quorl::EnglishInitialisms
