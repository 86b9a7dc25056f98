#pragma once

#include <algorithm>
#include <concepts>
#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Edit distance for matching custom-vocabulary terms against transcript words.
namespace quorl::StringUtils {

// The Levenshtein distance between two sequences: insertions, deletions and substitutions each cost 1.
// Keeps the whole (first + 1) x (second + 1) table; callers apply it to short terms and words.
template <std::equality_comparable Element>
int levenshteinDistance(std::span<const Element> first, std::span<const Element> second) {
    if (first.empty()) {
        return static_cast<int>(second.size());
    }
    if (second.empty()) {
        return static_cast<int>(first.size());
    }
    const std::size_t columns = second.size() + 1;
    std::vector<int> table((first.size() + 1) * columns);
    for (std::size_t column = 0; column < columns; ++column) {
        table[column] = static_cast<int>(column);
    }
    for (std::size_t row = 1; row <= first.size(); ++row) {
        table[row * columns] = static_cast<int>(row);
        for (std::size_t column = 1; column < columns; ++column) {
            const int substitution = first[row - 1] == second[column - 1] ? 0 : 1;
            table[row * columns + column] =
                std::min({table[(row - 1) * columns + column] + 1, table[row * columns + column - 1] + 1,
                          table[(row - 1) * columns + column - 1] + substitution});
        }
    }
    return table.back();
}

template <std::equality_comparable Element>
int levenshteinDistance(const std::vector<Element>& first, const std::vector<Element>& second) {
    return levenshteinDistance(std::span<const Element>(first), std::span<const Element>(second));
}

// The user-perceived characters of the text, each in NFC, so that two are equal exactly when canonically
// equivalent: the elements the text-based distance below compares. Malformed UTF-8 reads as U+FFFD.
std::vector<std::string> characters(std::string_view text);

// The distance counted in user-perceived characters, two characters being equal when canonically
// equivalent ("é" precomposed equals "e" with a combining accent). Malformed UTF-8 reads as U+FFFD.
int levenshteinDistance(std::string_view first, std::string_view second);

} // namespace quorl::StringUtils
