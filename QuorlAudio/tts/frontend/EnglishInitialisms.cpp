#include "QuorlAudio/tts/frontend/EnglishInitialisms.hpp"

#include <algorithm>

namespace quorl::EnglishInitialisms {

const std::set<std::string, std::less<>>& letterNameOverrides() {
    static const std::set<std::string, std::less<>> overrides{"AI", "US"};
    return overrides;
}

// Every character must be one ASCII byte, so counting bytes counts characters.
bool isCandidate(std::string_view word) {
    const auto isCapital = [](char byte) { return byte >= 'A' && byte <= 'Z'; };
    return word.size() >= 2 && word.size() <= 5 && std::ranges::all_of(word, isCapital);
}

} // namespace quorl::EnglishInitialisms
