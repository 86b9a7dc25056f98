#pragma once

#include "QuorlAudio/asr/biasing/CustomVocabularyTerm.hpp"

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quorl {

// An index of vocabulary terms by the edit distance of their lower-cased texts: a search visits only the
// branches that can hold a term within the bound, instead of comparing the query with every term.
// Immutable; copies share the nodes.
class BKTree {
public:
    struct SearchResult {
        CustomVocabularyTerm term;
        // The lower-cased text of the term that matched.
        std::string normalizedText;
        // Edit distance, in characters, between the lower-cased query and normalizedText.
        std::int64_t distance;

        bool operator==(const SearchResult&) const = default;
    };

    // Terms in the given order; the first is the root, and terms with the same text are all kept.
    explicit BKTree(const std::vector<CustomVocabularyTerm>& terms);

    // Every term whose lower-cased text lies within `maxDistance` of the lower-cased query, depth first; none
    // for a negative bound.
    std::vector<SearchResult> search(std::string_view query, std::int64_t maxDistance) const;

    bool isEmpty() const { return nodes_->empty(); }
    std::int64_t count() const { return termCount_; }

private:
    struct Node {
        CustomVocabularyTerm term;
        std::string normalizedText;
        // The key's characters, as the edit distance compares them.
        std::vector<std::string> characters;
        // Distance to this node's key → index of the child; every node below it lies at that distance.
        std::map<std::int64_t, std::size_t> children;
    };

    // Nodes live in one list, the root first, so that neither building nor destroying a deep tree recurses.
    std::shared_ptr<const std::vector<Node>> nodes_;
    std::int64_t termCount_;
};

} // namespace quorl
