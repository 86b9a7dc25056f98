#include "QuorlAudio/tts/frontend/MandarinPinyinNormalizer.hpp"

#include "platform/text/CaseMapping.hpp"
#include "platform/text/GraphemeClusters.hpp"
#include "platform/text/Normalization.hpp"

#include <unordered_map>
#include <vector>

namespace quorl::MandarinPinyinNormalizer {
namespace {

struct PlainLetter {
    char letter;
    int tone; // 0 when the letter carries no tone
};

// Keyed by the precomposed (NFC) form of each marked letter.
const std::unordered_map<std::string, PlainLetter>& accentTable() {
    static const std::unordered_map<std::string, PlainLetter> table{
        {"ā", {'a', 1}}, {"á", {'a', 2}}, {"ǎ", {'a', 3}}, {"à", {'a', 4}}, {"ē", {'e', 1}}, {"é", {'e', 2}},
        {"ě", {'e', 3}}, {"è", {'e', 4}}, {"ī", {'i', 1}}, {"í", {'i', 2}}, {"ǐ", {'i', 3}}, {"ì", {'i', 4}},
        {"ō", {'o', 1}}, {"ó", {'o', 2}}, {"ǒ", {'o', 3}}, {"ò", {'o', 4}}, {"ū", {'u', 1}}, {"ú", {'u', 2}},
        {"ǔ", {'u', 3}}, {"ù", {'u', 4}}, {"ǖ", {'v', 1}}, {"ǘ", {'v', 2}}, {"ǚ", {'v', 3}}, {"ǜ", {'v', 4}},
        {"ü", {'v', 0}}, {"ń", {'n', 2}}, {"ň", {'n', 3}}, {"ǹ", {'n', 4}}, {"ḿ", {'m', 2}},
    };
    return table;
}

// ASCII characters are never marked, which spares most characters the normalisation.
const PlainLetter* plainLetterOf(std::string_view character) {
    if (character.size() == 1) {
        return nullptr;
    }
    const auto found = accentTable().find(platform::text::nfc(character));
    return found == accentTable().end() ? nullptr : &found->second;
}

std::optional<int> toneDigit(std::string_view character) {
    if (character.size() != 1 || character[0] < '1' || character[0] > '5') {
        return std::nullopt;
    }
    return character[0] - '0';
}

std::optional<char> digitFormLetter(std::string_view character) {
    if (character.size() == 1 && character[0] >= 'a' && character[0] <= 'z') {
        return character[0];
    }
    if (platform::text::nfc(character) == "ü") {
        return 'v';
    }
    return std::nullopt;
}

} // namespace

Syllable normalize(std::string_view text) {
    Syllable syllable;
    for (const std::string_view character : platform::text::graphemeClusterViews(text)) {
        const PlainLetter* plain = plainLetterOf(character);
        if (plain == nullptr) {
            syllable.base.append(character);
            continue;
        }
        syllable.base.push_back(plain->letter);
        if (plain->tone != 0) {
            syllable.tone = plain->tone;
        }
    }
    return syllable;
}

std::optional<Syllable> parseDigitForm(std::string_view text) {
    const std::vector<std::string_view> characters = platform::text::graphemeClusterViews(text);
    if (characters.empty()) {
        return std::nullopt;
    }
    const std::optional<int> tone = toneDigit(characters.back());
    const std::string letters = platform::text::lowercased(text.substr(0, text.size() - characters.back().size()));
    if (!tone || letters.empty()) {
        return std::nullopt;
    }
    Syllable syllable{.base = {}, .tone = *tone};
    for (const std::string_view character : platform::text::graphemeClusterViews(letters)) {
        const std::optional<char> letter = digitFormLetter(character);
        if (!letter) {
            return std::nullopt;
        }
        syllable.base.push_back(*letter);
    }
    return syllable;
}

} // namespace quorl::MandarinPinyinNormalizer
