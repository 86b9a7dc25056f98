#include "QuorlAudio/asr/biasing/BKTree.hpp"

#include "QuorlAudio/foundation/StringUtils.hpp"
#include "platform/text/CaseMapping.hpp"

#include <algorithm>

namespace quorl {
namespace {

std::int64_t distance(const std::vector<std::string>& first, const std::vector<std::string>& second) {
    return StringUtils::levenshteinDistance(first, second);
}

} // namespace

// Inserting the terms one by one in order gives each group's first term the group's node, exactly as
// splitting the list by distance to its first term and building each group the same way.
BKTree::BKTree(const std::vector<CustomVocabularyTerm>& terms) : termCount_(static_cast<std::int64_t>(terms.size())) {
    std::vector<Node> nodes;
    nodes.reserve(terms.size());
    for (const auto& term : terms) {
        Node node{.term = term,
                  .normalizedText = term.textLowercased(),
                  .characters = StringUtils::characters(term.textLowercased()),
                  .children = {}};
        std::size_t parent = 0;
        while (!nodes.empty()) {
            const auto key = distance(node.characters, nodes[parent].characters);
            const auto [child, added] = nodes[parent].children.try_emplace(key, nodes.size());
            if (added) {
                break;
            }
            parent = child->second;
        }
        nodes.push_back(std::move(node));
    }
    nodes_ = std::make_shared<const std::vector<Node>>(std::move(nodes));
}

std::vector<BKTree::SearchResult> BKTree::search(std::string_view query, std::int64_t maxDistance) const {
    std::vector<SearchResult> results;
    if (nodes_->empty() || maxDistance < 0) {
        return results;
    }
    const auto queryCharacters = StringUtils::characters(platform::text::lowercased(query));
    std::vector<std::size_t> pending{0};
    while (!pending.empty()) {
        const Node& node = (*nodes_)[pending.back()];
        pending.pop_back();
        const auto found = distance(queryCharacters, node.characters);
        if (found <= maxDistance) {
            results.push_back(
                SearchResult{.term = node.term, .normalizedText = node.normalizedText, .distance = found});
        }
        for (const auto& [key, child] : node.children) {
            if (key >= std::max<std::int64_t>(0, found - maxDistance) && key <= found + maxDistance) {
                pending.push_back(child);
            }
        }
    }
    return results;
}

} // namespace quorl
