#include "QuorlAudio/tts/frontend/MandarinG2P.hpp"

#include "QuorlAudio/foundation/AppLogger.hpp"
#include "QuorlAudio/tts/frontend/KokoroAneError.hpp"
#include "QuorlAudio/tts/frontend/MandarinNumberNormalizer.hpp"
#include "QuorlAudio/tts/frontend/MandarinPhonemeWriter.hpp"
#include "QuorlAudio/tts/frontend/MandarinSegmenter.hpp"
#include "platform/core/Error.hpp"
#include "platform/text/GraphemeClusters.hpp"
#include "platform/text/Utf8.hpp"
#include "platform/text/WhiteSpace.hpp"

#include <exception>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace quorl {
namespace {

const AppLogger& logger() {
    static const AppLogger instance("MandarinG2P");
    return instance;
}

bool isHanzi(char32_t scalar) {
    return (scalar >= 0x4E00 && scalar <= 0x9FFF) || (scalar >= 0x3400 && scalar <= 0x4DBF) ||
           (scalar >= 0xF900 && scalar <= 0xFAFF) || (scalar >= 0x20000 && scalar <= 0x2FA1F) || scalar == 0x3007 ||
           (scalar >= 0x30000 && scalar <= 0x3134F);
}

// Full-width punctuation and corner brackets as the phoneme alphabet writes them.
const std::unordered_map<std::string_view, std::string_view>& punctuationForms() {
    static const std::unordered_map<std::string_view, std::string_view> forms{
        {"\uFF0C", ","},      {"\u3001", ","},      {"\u3002", "."},      {"\uFF01", "!"},      {"\uFF1F", "?"},
        {"\uFF1B", ";"},      {"\uFF1A", ":"},      {"\uFF08", "("},      {"\uFF09", ")"},      {"\uFF0F", "/"},
        {"\u300C", "\u201C"}, {"\u300E", "\u201C"}, {"\u300D", "\u201D"}, {"\u300F", "\u201D"},
    };
    return forms;
}

} // namespace

MandarinG2P::MandarinG2P(std::shared_ptr<const MandarinPinyinDict> dict,
                         std::shared_ptr<const MandarinJiebaHmm> jiebaHmm,
                         std::shared_ptr<const MandarinG2pwModel> g2pw)
    : dict_(std::move(dict)), jiebaHmm_(std::move(jiebaHmm)), g2pw_(std::move(g2pw)) {}

MandarinG2P::MandarinG2P(std::shared_ptr<const MandarinPinyinDict> dict, MandarinCustomLexicon customLexicon)
    : dict_(std::move(dict)), customLexicon_(std::move(customLexicon)) {}

std::string MandarinG2P::phonemize(std::string_view text) const {
    const auto normalized = normalizeText(MandarinNumberNormalizer::normalize(text));
    if (normalized.empty()) {
        throw KokoroAneError::inputProcessingFailed("(empty input)");
    }
    const auto chars = platform::text::graphemeClusters(normalized);
    auto result = segment(chars);
    applyPolyphoneModel(chars, result);
    auto phonemes = MandarinPhonemeWriter(logger()).write(result.segments);
    if (phonemes.empty()) {
        throw KokoroAneError::inputProcessingFailed("Mandarin G2P produced no phonemes for input '" +
                                                    std::string(text) + "'");
    }
    return phonemes;
}

void MandarinG2P::applyPolyphoneModel(const std::vector<std::string>& chars, SegmentResult& result) const {
    if (!g2pw_ || result.targets.empty()) {
        return;
    }
    std::vector<int> positions;
    for (const auto& target : result.targets) {
        positions.push_back(static_cast<int>(target.charPos));
    }
    try {
        const auto readings = g2pw_->disambiguate(chars, positions);
        for (const auto& target : result.targets) {
            const auto found = readings.find(static_cast<int>(target.charPos));
            if (found != readings.end()) {
                result.segments[target.segmentIdx] =
                    MandarinG2PSegment::BopomofoOverride{MandarinPolyphoneCatalog::toneDigitForm(found->second)};
            }
        }
    } catch (const std::exception&) {
        logger().warning("g2pW disambiguation failed (" + platform::core::describe(std::current_exception()) +
                         ") \u2014 falling back to dict pick");
    }
}

bool MandarinG2P::looksLikeHanzi(std::string_view text) {
    for (std::size_t position = 0; position < text.size();) {
        if (isHanzi(platform::text::decodeNextScalar(text, position))) {
            return true;
        }
    }
    return false;
}

std::string MandarinG2P::normalizeText(std::string_view text) {
    std::string written;
    written.reserve(text.size());
    bool inWhiteSpace = false;
    for (const auto character : platform::text::graphemeClusterViews(text)) {
        const bool whiteSpace = platform::text::isAllWhiteSpaceAndLineBreaks(character);
        if (whiteSpace && !inWhiteSpace && !written.empty()) {
            written += ' ';
        } else if (!whiteSpace) {
            const auto form = punctuationForms().find(character);
            written += form == punctuationForms().end() ? character : form->second;
        }
        inWhiteSpace = whiteSpace;
    }
    return platform::text::trimmingWhiteSpaceAndLineBreaks(written);
}

MandarinG2P::SegmentResult MandarinG2P::segment(const std::vector<std::string>& chars) const {
    return MandarinSegmenter(*dict_, jiebaHmm_.get(), customLexicon_).segment(chars);
}

} // namespace quorl
