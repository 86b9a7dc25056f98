#include "QuorlAudio/asr/biasing/CustomVocabularyContext.hpp"

#include "QuorlAudio/asr/biasing/CtcTokenizer.hpp"
#include "QuorlAudio/asr/biasing/CustomVocabularyConfig.hpp"
#include "QuorlAudio/asr/biasing/SimpleVocabularyFormat.hpp"
#include "QuorlAudio/asr/biasing/VocabularyTermSanitizer.hpp"
#include "QuorlAudio/foundation/AppLogger.hpp"
#include "platform/core/Concatenated.hpp"
#include "platform/sys/WholeFile.hpp"
#include "platform/text/Utf8.hpp"

#include <nlohmann/json.hpp>

#include <optional>
#include <string_view>
#include <system_error>
#include <utility>

namespace quorl {
namespace {

namespace fs = std::filesystem;
using platform::core::concatenated;

// Editors on some systems start UTF-8 files with a byte-order mark; it is not part of the text.
std::string_view withoutByteOrderMark(std::string_view bytes) {
    constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF";
    return bytes.starts_with(byteOrderMark) ? bytes.substr(byteOrderMark.size()) : bytes;
}

std::string joined(const std::vector<std::string>& warnings) {
    std::string text;
    for (const auto& warning : warnings) {
        text += text.empty() ? warning : ", " + warning;
    }
    return text;
}

// The term with its text and aliases cleaned, or none when its text cleans to nothing.
std::optional<CustomVocabularyTerm> cleanedTerm(const CustomVocabularyTerm& term, const AppLogger& logger) {
    auto [sanitized, warnings] = sanitizeVocabularyTerm(term.text());
    if (!warnings.empty()) {
        logger.warning(concatenated({"Term '", term.text(), "': ", joined(warnings)}));
    }
    if (sanitized.empty()) {
        logger.warning(concatenated({"Term '", term.text(), "' is empty after sanitization, skipping"}));
        return std::nullopt;
    }
    auto fields = term.fields();
    fields.text = std::move(sanitized);
    fields.aliases = fields.aliases ? sanitizeAliases(*fields.aliases) : std::nullopt;
    return CustomVocabularyTerm(std::move(fields));
}

bool startsLikeJson(std::string_view bytes) {
    const auto first = bytes.find_first_not_of(" \t\n\r");
    return first != std::string_view::npos && bytes[first] == '{';
}

} // namespace

CustomVocabularyContext CustomVocabularyContext::load(const fs::path& from) {
    const AppLogger logger("CustomVocabulary");
    const std::string bytes = platform::sys::wholeFile(from);
    const auto config = CustomVocabularyConfig::fromJson(nlohmann::json::parse(withoutByteOrderMark(bytes)));
    CustomVocabularyContext context{
        .terms = {},
        .alpha = config.alpha.value_or(ContextBiasingConstants::defaultAlpha),
        .minCtcScore = config.minCtcScore.value_or(ContextBiasingConstants::defaultMinVocabCtcScore),
        .minSimilarity = config.minSimilarity.value_or(ContextBiasingConstants::defaultMinSimilarity),
        .minCombinedConfidence =
            config.minCombinedConfidence.value_or(ContextBiasingConstants::defaultMinCombinedConfidence),
        .minTermLength = config.minTermLength.value_or(3)};
    for (const auto& term : config.terms) {
        if (auto cleaned = cleanedTerm(term, logger)) {
            context.terms.push_back(std::move(*cleaned));
        }
    }
    return context;
}

CustomVocabularyContext CustomVocabularyContext::loadFromSimpleFormat(const fs::path& from) {
    const std::string bytes = platform::sys::wholeFile(from);
    const auto text = platform::text::decodeScalarsStrictly(withoutByteOrderMark(bytes));
    if (!text) {
        throw fs::filesystem_error("The vocabulary is not UTF-8 text", from,
                                   std::make_error_code(std::errc::illegal_byte_sequence));
    }
    return CustomVocabularyContext{.terms = parseSimpleVocabulary(*text)};
}

CustomVocabularyContext CustomVocabularyContext::loadVocabularyFile(const fs::path& at) {
    const std::string bytes = platform::sys::wholeFile(at);
    return startsLikeJson(withoutByteOrderMark(bytes)) ? load(at) : loadFromSimpleFormat(at);
}

CustomVocabularyWithCtcModels CustomVocabularyContext::loadWithCtcTokens(const std::string& path,
                                                                         CtcModelVariant ctcVariant) {
    const fs::path directory = CtcModels::download({.variant = ctcVariant});
    auto models = CtcModels::load(directory, ctcVariant);
    auto vocabulary = loadVocabularyFile(path);
    const auto tokenizer = CtcTokenizer::load(CtcModels::defaultCacheDirectory(ctcVariant));
    for (auto& term : vocabulary.terms) {
        auto fields = term.fields();
        fields.ctcTokenIds = tokenizer.encode(fields.text);
        fields.tokenIds.reset();
        term = CustomVocabularyTerm(std::move(fields));
    }
    return CustomVocabularyWithCtcModels{.vocab = std::move(vocabulary), .models = std::move(models)};
}

} // namespace quorl
