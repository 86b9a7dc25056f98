#include "QuorlAudio/tts/styletts2/StyleTTS2TextCleaner.hpp"

#include "platform/text/GraphemeClusters.hpp"
#include "platform/text/Normalization.hpp"

namespace quorl::StyleTTS2TextCleaner {
namespace {

std::vector<std::string> makeSymbols() {
    std::vector<std::string> table{std::string(padSymbol)};
    for (const auto part : {punctuation, letters, ipaLetters}) {
        for (auto& character : platform::text::graphemeClusters(part)) {
            table.push_back(std::move(character));
        }
    }
    return table;
}

std::map<std::string, std::int32_t, std::less<>> makeDictionary() {
    std::map<std::string, std::int32_t, std::less<>> table;
    const auto& all = symbols();
    for (std::size_t index = 0; index < all.size(); ++index) {
        table[platform::text::nfc(all[index])] = static_cast<std::int32_t>(index);
    }
    return table;
}

} // namespace

const std::vector<std::string>& symbols() {
    static const auto table = makeSymbols();
    return table;
}

const std::map<std::string, std::int32_t, std::less<>>& dictionary() {
    static const auto table = makeDictionary();
    return table;
}

int vocabularySize() { return static_cast<int>(symbols().size()); }

std::vector<std::int32_t> encode(std::string_view text, bool prependPad) {
    std::vector<std::int32_t> ids;
    if (prependPad) {
        ids.push_back(0);
    }
    const auto& table = dictionary();
    for (const auto character : platform::text::graphemeClusterViews(text)) {
        if (const auto found = table.find(platform::text::nfc(character)); found != table.end()) {
            ids.push_back(found->second);
        }
    }
    return ids;
}

} // namespace quorl::StyleTTS2TextCleaner
