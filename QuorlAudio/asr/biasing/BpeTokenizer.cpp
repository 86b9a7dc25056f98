#include "QuorlAudio/asr/biasing/BpeTokenizer.hpp"

#include "QuorlAudio/foundation/ASRConstants.hpp"
#include "platform/sys/WholeFile.hpp"
#include "platform/text/CaseMapping.hpp"
#include "platform/text/GraphemeClusters.hpp"
#include "platform/text/Normalization.hpp"

#include <nlohmann/json.hpp>

#include <functional>
#include <optional>
#include <system_error>

namespace quorl {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;
using TokenIds = std::unordered_map<std::string, std::int64_t>;

const Json& member(const Json& object, const char* name) {
    static const Json absent;
    const auto found = object.find(name);
    return found == object.end() ? absent : *found;
}

bool allValues(const Json& object, bool (Json::*test)() const noexcept) {
    for (const auto& value : object) {
        if (!(value.*test)()) {
            return false;
        }
    }
    return true;
}

// "left right": leading spaces skipped, the left part up to the next space, the right part everything after
// that space. An entry missing either part is left out.
std::optional<BpeTokenizer::Merge> mergeOf(const std::string& entry) {
    const auto start = entry.find_first_not_of(' ');
    if (start == std::string::npos) {
        return std::nullopt;
    }
    const auto separator = entry.find(' ', start);
    if (separator == std::string::npos || separator + 1 == entry.size()) {
        return std::nullopt;
    }
    return BpeTokenizer::Merge{entry.substr(start, separator - start), entry.substr(separator + 1)};
}

const Json& modelOf(const Json& root) {
    if (!root.is_object()) {
        throw BpeTokenizerError::invalidJSON("Root is not a dictionary");
    }
    const Json& model = member(root, "model");
    if (!model.is_object()) {
        throw BpeTokenizerError::missingField("model");
    }
    const Json& type = member(model, "type");
    if (!type.is_string()) {
        throw BpeTokenizerError::missingField("model.type");
    }
    if (type.get<std::string>() != "BPE") {
        throw BpeTokenizerError::unsupportedTokenizerType(type.get<std::string>());
    }
    return model;
}

TokenIds vocabOf(const Json& model) {
    const Json& vocab = member(model, "vocab");
    if (!vocab.is_object() || !allValues(vocab, &Json::is_number_integer)) {
        throw BpeTokenizerError::missingField("model.vocab");
    }
    TokenIds ids;
    for (const auto& [text, id] : vocab.items()) {
        ids.emplace(text, id.get<std::int64_t>());
    }
    return ids;
}

std::vector<BpeTokenizer::Merge> mergesOf(const Json& model) {
    const Json& entries = member(model, "merges");
    if (!entries.is_array() || !allValues(entries, &Json::is_string)) {
        throw BpeTokenizerError::missingField("model.merges");
    }
    std::vector<BpeTokenizer::Merge> merges;
    for (const auto& entry : entries) {
        if (auto merge = mergeOf(entry.get<std::string>())) {
            merges.push_back(std::move(*merge));
        }
    }
    return merges;
}

TokenIds addedTokensOf(const Json& root) {
    const Json& entries = member(root, "added_tokens");
    TokenIds ids;
    if (!entries.is_array() || !allValues(entries, &Json::is_object)) {
        return ids;
    }
    for (const auto& entry : entries) {
        const Json& content = member(entry, "content");
        const Json& id = member(entry, "id");
        if (content.is_string() && id.is_number_integer()) {
            ids.insert_or_assign(content.get<std::string>(), id.get<std::int64_t>());
        }
    }
    return ids;
}

// The text as one list of characters, the word-boundary marker standing for every space.
std::vector<std::string> initialPieces(std::string_view text, bool prependWordBoundary) {
    const std::string marker(ASRConstants::sentencePieceWordBoundary);
    std::string prepared = prependWordBoundary ? marker : std::string();
    for (const char byte : platform::text::nfkc(platform::text::lowercased(text))) {
        if (byte == ' ') {
            prepared += marker;
        } else {
            prepared += byte;
        }
    }
    return platform::text::graphemeClusters(prepared);
}

} // namespace

std::size_t BpeTokenizer::MergeHash::operator()(const std::pair<std::string_view, std::string_view>& merge) const {
    const std::size_t left = std::hash<std::string_view>{}(merge.first);
    return left ^ (std::hash<std::string_view>{}(merge.second) + 0x9E3779B97F4A7C15ull + (left << 6) + (left >> 2));
}

BpeTokenizer::BpeTokenizer(TokenIds vocab, std::vector<Merge> merges, TokenIds addedTokens)
    : vocab_(std::move(vocab)), merges_(std::move(merges)), addedTokens_(std::move(addedTokens)) {
    for (std::size_t rank = 0; rank < merges_.size(); ++rank) {
        ranks_.try_emplace({merges_[rank].first, merges_[rank].second}, rank);
    }
}

BpeTokenizer BpeTokenizer::load(const fs::path& directory) {
    const fs::path file = directory / "tokenizer.json";
    std::error_code status;
    if (!fs::exists(file, status)) {
        throw BpeTokenizerError::fileNotFound(file);
    }
    const Json root = Json::parse(platform::sys::wholeFile(file));
    const Json& model = modelOf(root);
    return BpeTokenizer(vocabOf(model), mergesOf(model), addedTokensOf(root));
}

std::vector<std::int64_t> BpeTokenizer::encode(std::string_view text, const EncodeOptions& options) const {
    std::vector<std::int64_t> ids;
    for (const auto& piece : mergedPieces(initialPieces(text, options.prependWordBoundary))) {
        ids.push_back(idOf(piece));
    }
    return ids;
}

// Merges the adjacent pair of lowest rank everywhere it occurs, left to right, until no adjacent pair has
// a rank.
std::vector<std::string> BpeTokenizer::mergedPieces(std::vector<std::string> pieces) const {
    while (pieces.size() >= 2) {
        std::optional<std::size_t> best;
        for (std::size_t index = 0; index + 1 < pieces.size(); ++index) {
            const auto found = ranks_.find({pieces[index], pieces[index + 1]});
            if (found != ranks_.end() && (!best || found->second < *best)) {
                best = found->second;
            }
        }
        if (!best) {
            break;
        }
        const Merge& chosen = merges_[*best];
        std::vector<std::string> merged;
        merged.reserve(pieces.size());
        for (std::size_t index = 0; index < pieces.size(); ++index) {
            if (index + 1 < pieces.size() && pieces[index] == chosen.first && pieces[index + 1] == chosen.second) {
                merged.push_back(pieces[index] + pieces[index + 1]);
                ++index;
            } else {
                merged.push_back(std::move(pieces[index]));
            }
        }
        pieces = std::move(merged);
    }
    return pieces;
}

std::int64_t BpeTokenizer::idOf(const std::string& piece) const {
    for (const auto* ids : {&addedTokens_, &vocab_}) {
        if (const auto found = ids->find(piece); found != ids->end()) {
            return found->second;
        }
    }
    for (const auto* ids : {&addedTokens_, &vocab_}) {
        if (const auto found = ids->find("<unk>"); found != ids->end()) {
            return found->second;
        }
    }
    return 0;
}

} // namespace quorl
