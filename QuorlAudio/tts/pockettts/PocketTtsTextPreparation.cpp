#include "QuorlAudio/tts/pockettts/PocketTtsTextPreparation.hpp"

#include "QuorlAudio/tts/pockettts/PocketTtsSynthesisContext.hpp"
#include "platform/core/Concatenated.hpp"
#include "platform/text/CaseMapping.hpp"
#include "platform/text/CharacterProperties.hpp"
#include "platform/text/GraphemeClusters.hpp"
#include "platform/text/Regex.hpp"
#include "platform/text/TextPieces.hpp"
#include "platform/text/Utf8.hpp"
#include "platform/text/WhiteSpace.hpp"

#include <algorithm>
#include <set>

namespace quorl::PocketTtsSynthesizer {
namespace {

namespace text = platform::text;
using platform::core::concatenated;

constexpr std::int64_t embeddingRowWidth = 1024;
constexpr std::size_t shortTextWordLimit = 4;
constexpr std::int64_t shortTextFramesAfterEos = 3;
constexpr std::int64_t longTextFramesAfterEos = 1;
constexpr std::string_view shortTextPadding = "        ";

const std::set<std::string, std::less<>>& abbreviations(PocketTtsLanguage language) {
    static const std::set<std::string, std::less<>> common{
        "dr",  "mr",   "mrs",  "ms",   "prof", "sr",     "jr",   "st",  "vs",  "etc", "inc", "ltd",
        "co",  "corp", "dept", "univ", "govt", "approx", "avg",  "est", "gen", "gov", "hon", "sgt",
        "cpl", "pvt",  "capt", "lt",   "col",  "maj",    "cmdr", "adm", "rev", "sen", "rep"};
    static const std::set<std::string, std::less<>> french{
        "m",   "mm",  "mme",  "mmes", "mlle", "mlles", "mtre", "mtres", "dr",  "drs", "pr",   "prs", "me",
        "mes", "st",  "ste",  "sts",  "stes", "etc",   "cf",   "ibid",  "op",  "cit", "ndlr", "nb",  "p",
        "pp",  "vol", "chap", "tome", "fig",  "av",    "bd",   "bld",   "rte", "no",  "nos"};
    return language == PocketTtsLanguage::french24L ? french : common;
}

std::size_t tokenCount(std::string_view chunk, const SentencePieceTokenizer& tokenizer) {
    return chunk.empty() ? 0 : tokenizer.encode(chunk).size();
}

bool fits(std::string_view chunk, const SentencePieceTokenizer& tokenizer, std::int64_t maxTokens) {
    return static_cast<std::int64_t>(tokenCount(chunk, tokenizer)) <= maxTokens;
}

bool isNumber(std::string_view character) { return text::hasNumericType(text::firstScalar(character)); }

bool isLetter(std::string_view character) { return text::isAlphabetic(text::firstScalar(character)); }

bool isOneOf(std::string_view character, std::string_view set) {
    return character.size() == 1 && set.find(character.front()) != std::string_view::npos;
}

// Curly quotes become straight ones; French guillemets and no-break spaces become plain ones for French only.
std::string straightened(std::string_view input, PocketTtsLanguage language) {
    const bool french = language == PocketTtsLanguage::french24L;
    std::u32string scalars = text::decodeScalars(input);
    for (auto& scalar : scalars) {
        if (scalar == U'\u2018' || scalar == U'\u2019') {
            scalar = U'\'';
        } else if (scalar == U'\u201C' || scalar == U'\u201D' ||
                   (french && (scalar == U'\u00AB' || scalar == U'\u00BB'))) {
            scalar = U'"';
        } else if (french && (scalar == U'\u00A0' || scalar == U'\u202F')) {
            scalar = U' ';
        }
    }
    return text::encodeScalars(scalars);
}

std::string prepared(std::string_view input, PocketTtsLanguage language) {
    return straightened(text::trimmingWhiteSpaceAndLineBreaks(input), language);
}

std::vector<std::string> words(std::string_view input) {
    std::vector<std::string> pieces;
    for (const auto word : text::splitDroppingEmpty(input, ' ')) {
        pieces.emplace_back(word);
    }
    return pieces;
}

void appendTrimmed(std::vector<std::string>& pieces, std::string_view piece) {
    const auto trimmed = text::trimmingBlanks(piece);
    if (!trimmed.empty()) {
        pieces.emplace_back(trimmed);
    }
}

// Whether the period that ends `sentence` belongs to an abbreviation or an initial, or is a decimal point.
bool periodContinues(std::string_view sentence, std::string_view next, PocketTtsLanguage language) {
    const auto trimmed = text::trimmingBlanks(sentence);
    const auto lastWords = words(trimmed.substr(0, trimmed.size() - 1));
    const std::string word = lastWords.empty() ? std::string() : lastWords.back();
    if (abbreviations(language).contains(text::lowercased(word))) {
        return true;
    }
    const auto characters = text::graphemeClusterViews(word);
    if (characters.size() == 1 && text::isUppercaseCharacter(characters.front())) {
        return true;
    }
    return !next.empty() && isNumber(next);
}

struct Piece {
    std::string text;
    bool isMidSentence = false;
};

std::vector<Piece> sentencePieces(std::string_view input, const SentencePieceTokenizer& tokenizer,
                                  std::int64_t maxTokens, PocketTtsLanguage language) {
    std::vector<Piece> pieces;
    for (auto& sentence : splitSentences(input, language)) {
        if (fits(sentence, tokenizer, maxTokens)) {
            pieces.push_back(Piece{.text = std::move(sentence), .isMidSentence = false});
            continue;
        }
        bool continues = false;
        for (auto& part : splitOversizedSentence(sentence, tokenizer, maxTokens)) {
            pieces.push_back(Piece{.text = std::move(part), .isMidSentence = continues});
            continues = true;
        }
    }
    return pieces;
}

// Joins neighbours that share their flag while the joined text stays within the budget.
std::vector<TextChunk> merged(std::vector<Piece> pieces, const SentencePieceTokenizer& tokenizer,
                              std::int64_t maxTokens) {
    std::vector<TextChunk> chunks;
    TextChunk current{.text = std::move(pieces.front().text), .isMidSentence = pieces.front().isMidSentence};
    for (std::size_t index = 1; index < pieces.size(); ++index) {
        auto& piece = pieces[index];
        if (piece.isMidSentence == current.isMidSentence) {
            auto candidate = concatenated({current.text, " ", piece.text});
            if (fits(candidate, tokenizer, maxTokens)) {
                current.text = std::move(candidate);
                continue;
            }
        }
        chunks.push_back(std::move(current));
        current = TextChunk{.text = std::move(piece.text), .isMidSentence = piece.isMidSentence};
    }
    chunks.push_back(std::move(current));
    return chunks;
}

// A last piece of one word takes the last word of a longer piece before it, so no word is spoken alone.
void repairOrphan(std::vector<std::string>& pieces) {
    if (pieces.size() < 2) {
        return;
    }
    auto& last = pieces.back();
    auto before = words(pieces[pieces.size() - 2]);
    if (words(last).size() != 1 || before.size() < 2) {
        return;
    }
    last = concatenated({before.back(), " ", last});
    before.pop_back();
    pieces[pieces.size() - 2] = text::joined(before, " ");
}

std::string collapsedWhiteSpace(const std::string& input) {
    static const text::Regex whiteSpaceRun("\\s+");
    std::string collapsed;
    std::size_t copied = 0;
    for (const auto& match : whiteSpaceRun.matches(input)) {
        const auto range = match.range();
        collapsed.append(input, copied, range.start - copied);
        collapsed += ' ';
        copied = range.end;
    }
    collapsed.append(input, copied);
    return collapsed;
}

// Drops trailing ",;:", capitalises a first letter and ends the sentence with a stop.
std::string asSentenceStart(std::string input) {
    while (!input.empty() && std::string_view(",;:").find(input.back()) != std::string_view::npos) {
        input.pop_back();
    }
    std::string sentence(text::trimmingBlanks(std::string_view(input)));
    const auto characters = text::graphemeClusterViews(sentence);
    if (characters.empty()) {
        return sentence;
    }
    if (isLetter(characters.front())) {
        sentence = concatenated({text::uppercased(characters.front()), sentence.substr(characters.front().size())});
    }
    if (!isOneOf(text::graphemeClusterViews(sentence).back(), ".!?")) {
        sentence += '.';
    }
    return sentence;
}

} // namespace

std::vector<TextChunk> chunkTextWithMetadata(std::string_view input, const SentencePieceTokenizer& tokenizer,
                                             std::int64_t maxTokens, PocketTtsLanguage language) {
    auto whole = prepared(input, language);
    if (fits(whole, tokenizer, maxTokens)) {
        return {TextChunk{.text = std::move(whole), .isMidSentence = false}};
    }
    auto pieces = sentencePieces(whole, tokenizer, maxTokens, language);
    if (pieces.empty()) {
        return {TextChunk{.text = std::move(whole), .isMidSentence = false}};
    }
    return merged(std::move(pieces), tokenizer, maxTokens);
}

std::vector<std::string> splitSentences(std::string_view input, PocketTtsLanguage language) {
    const auto characters = text::graphemeClusterViews(input);
    std::vector<std::string> sentences;
    std::string current;
    for (std::size_t index = 0; index < characters.size(); ++index) {
        const auto character = characters[index];
        current += character;
        const bool ends =
            isOneOf(character, "!?") ||
            (character == "." &&
             !periodContinues(current, index + 1 < characters.size() ? characters[index + 1] : "", language));
        if (ends) {
            appendTrimmed(sentences, current);
            current.clear();
        }
    }
    appendTrimmed(sentences, current);
    return sentences;
}

std::vector<std::string> splitOversizedSentence(std::string_view sentence, const SentencePieceTokenizer& tokenizer,
                                                std::int64_t maxTokens) {
    std::vector<std::string> pieces;
    std::string current;
    for (const auto& clause : splitAtClauseBoundaries(sentence)) {
        auto candidate = current.empty() ? clause : concatenated({current, " ", clause});
        if (fits(candidate, tokenizer, maxTokens)) {
            current = std::move(candidate);
            continue;
        }
        if (!current.empty()) {
            pieces.push_back(std::move(current));
        }
        current.clear();
        if (fits(clause, tokenizer, maxTokens)) {
            current = clause;
        } else {
            auto parts = splitAtWordBoundaries(clause, tokenizer, maxTokens);
            pieces.insert(pieces.end(), parts.begin(), parts.end());
        }
    }
    if (!current.empty()) {
        pieces.push_back(std::move(current));
    }
    if (pieces.empty()) {
        pieces.emplace_back(sentence);
    }
    return pieces;
}

std::vector<std::string> splitAtClauseBoundaries(std::string_view input) {
    const auto characters = text::graphemeClusterViews(input);
    std::vector<std::string> clauses;
    std::string current;
    for (std::size_t index = 0; index < characters.size(); ++index) {
        const auto character = characters[index];
        current += character;
        const bool betweenNumbers = index > 0 && index + 1 < characters.size() && isNumber(characters[index - 1]) &&
                                    isNumber(characters[index + 1]);
        if (isOneOf(character, ";:") || (character == "," && !betweenNumbers)) {
            appendTrimmed(clauses, current);
            current.clear();
        }
    }
    appendTrimmed(clauses, current);
    return clauses;
}

std::vector<std::string> splitAtWordBoundaries(std::string_view input, const SentencePieceTokenizer& tokenizer,
                                               std::int64_t maxTokens) {
    const auto all = words(input);
    if (all.size() < 2) {
        return {std::string(input)};
    }
    std::vector<std::string> pieces;
    std::vector<std::string> current;
    for (const auto& word : all) {
        current.push_back(word);
        if (current.size() > 1 && !fits(text::joined(current, " "), tokenizer, maxTokens)) {
            current.pop_back();
            pieces.push_back(text::joined(current, " "));
            current = {word};
        }
    }
    pieces.push_back(text::joined(current, " "));
    repairOrphan(pieces);
    return pieces;
}

NormalizedText normalizeText(std::string_view input, bool isMidSentence, PocketTtsLanguage language) {
    auto normalized = collapsedWhiteSpace(prepared(input, language));
    if (!isMidSentence) {
        normalized = asSentenceStart(std::move(normalized));
    }
    if (!isMidSentence && words(normalized).size() <= shortTextWordLimit) {
        return NormalizedText{.text = concatenated({shortTextPadding, normalized}),
                              .framesAfterEos = shortTextFramesAfterEos};
    }
    return NormalizedText{.text = std::move(normalized), .framesAfterEos = longTextFramesAfterEos};
}

std::vector<std::vector<float>> embedTokens(const std::vector<std::int64_t>& ids,
                                            const PocketTtsConstantsBundle& constants) {
    const auto& table = constants.textEmbedTable;
    const auto rowCount = static_cast<std::int64_t>(table.size()) / embeddingRowWidth;
    std::vector<std::vector<float>> rows;
    rows.reserve(ids.size());
    for (const auto id : ids) {
        if (id < 0 || id >= rowCount) {
            synthesisLogger().warning(concatenated(
                {"Token ID ", std::to_string(id), " out of range [0, ", std::to_string(rowCount), "), clamping"}));
        }
        if (rowCount == 0) {
            // A table without rows has nothing to clamp into; silence keeps the rows aligned with the ids.
            rows.emplace_back(embeddingRowWidth, 0.0F);
            continue;
        }
        const auto row = std::clamp<std::int64_t>(id, 0, rowCount - 1) * embeddingRowWidth;
        rows.emplace_back(table.begin() + row, table.begin() + row + embeddingRowWidth);
    }
    return rows;
}

std::vector<std::vector<float>> embedText(const std::string& normalizedText,
                                          const PocketTtsConstantsBundle& constants) {
    if (normalizedText.empty()) {
        return {};
    }
    return embedTokens(constants.tokenizer.encode(normalizedText), constants);
}

} // namespace quorl::PocketTtsSynthesizer
