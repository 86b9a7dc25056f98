#include "QuorlAudio/asr/batch/WordTiming.hpp"

#include "QuorlAudio/foundation/ASRConstants.hpp"

#include <array>
#include <nlohmann/json.hpp>
#include <string_view>

namespace quorl {

namespace {

// Tab and the Unicode space separators (category Zs) in UTF-8: white space that does not break a line.
constexpr std::array<std::string_view, 18> horizontalSpaces{
    "\t",     " ",      "\u00A0", "\u1680", "\u2000", "\u2001", "\u2002", "\u2003", "\u2004",
    "\u2005", "\u2006", "\u2007", "\u2008", "\u2009", "\u200A", "\u202F", "\u205F", "\u3000",
};

// Each of these is a whole character in valid UTF-8, even at the end of the text, because none begins with a
// continuation byte; matching bytes is therefore matching characters.
std::size_t leadingSpaceLength(std::string_view text) {
    for (const std::string_view space : horizontalSpaces) {
        if (text.starts_with(space)) {
            return space.size();
        }
    }
    return 0;
}

std::size_t trailingSpaceLength(std::string_view text) {
    for (const std::string_view space : horizontalSpaces) {
        if (text.ends_with(space)) {
            return space.size();
        }
    }
    return 0;
}

std::string_view trimHorizontalSpace(std::string_view text) {
    while (const std::size_t length = leadingSpaceLength(text)) {
        text.remove_prefix(length);
    }
    while (const std::size_t length = trailingSpaceLength(text)) {
        text.remove_suffix(length);
    }
    return text;
}

bool isFiller(std::string_view token) { return token.empty() || token == "<blank>" || token == "<pad>"; }

// The length of the marker or blank that opens a word at the start of the token, or 0 when there is none.
std::size_t wordStartLength(std::string_view token) {
    if (token.starts_with(ASRConstants::sentencePieceWordBoundary)) {
        return ASRConstants::sentencePieceWordBoundary.size();
    }
    return token.starts_with(' ') ? 1 : 0;
}

void closeWord(const WordTiming& current, std::vector<WordTiming>& words) {
    const std::string_view trimmed = trimHorizontalSpace(current.word);
    if (!trimmed.empty()) {
        words.push_back({std::string(trimmed), current.startTime, current.endTime});
    }
}

} // namespace

std::vector<WordTiming> buildWordTimings(const std::vector<TokenTiming>& tokenTimings) {
    std::vector<WordTiming> words;
    WordTiming current;
    for (const TokenTiming& timing : tokenTimings) {
        const std::string_view token = timing.token;
        if (isFiller(token)) {
            continue;
        }
        const std::size_t startLength = wordStartLength(token);
        if (startLength > 0 || current.word.empty()) {
            closeWord(current, words);
            current = {std::string(token.substr(startLength)), timing.startTime, timing.endTime};
        } else {
            current.word += token;
            current.endTime = timing.endTime;
        }
    }
    closeWord(current, words);
    return words;
}

void to_json(nlohmann::json& json, const WordTiming& timing) {
    json = {
        {"word", timing.word},
        {"startTime", timing.startTime},
        {"endTime", timing.endTime},
    };
}

void from_json(const nlohmann::json& json, WordTiming& timing) {
    json.at("word").get_to(timing.word);
    json.at("startTime").get_to(timing.startTime);
    json.at("endTime").get_to(timing.endTime);
}

} // namespace quorl
