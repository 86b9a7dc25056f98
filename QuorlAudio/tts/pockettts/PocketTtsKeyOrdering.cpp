#include "QuorlAudio/tts/pockettts/PocketTtsKeyOrdering.hpp"

#include "platform/text/CharacterProperties.hpp"
#include "platform/text/DecimalInteger.hpp"
#include "platform/text/Utf8.hpp"

#include <algorithm>
#include <limits>

namespace quorl::PocketTtsKeyOrdering {

std::vector<std::string> sortedByNumericKey(std::vector<std::string> names, const NumericKey& key) {
    const auto rank = [&key](const std::string& name) {
        return key(name).value_or(std::numeric_limits<std::int64_t>::max());
    };
    std::stable_sort(names.begin(), names.end(), [&rank](const std::string& left, const std::string& right) {
        const auto leftRank = rank(left);
        const auto rightRank = rank(right);
        return leftRank != rightRank ? leftRank < rightRank : left < right;
    });
    return names;
}

std::optional<std::int64_t> trailingNumber(const std::string& name) {
    std::size_t runStart = name.size();
    std::size_t position = 0;
    while (position < name.size()) {
        const std::size_t scalarStart = position;
        const bool numeric = platform::text::hasNumericType(platform::text::decodeNextScalar(name, position));
        if (!numeric) {
            runStart = name.size();
        } else if (runStart == name.size()) {
            runStart = scalarStart;
        }
    }
    if (runStart == name.size()) {
        return std::nullopt;
    }
    return platform::text::decimalInteger(std::string_view(name).substr(runStart));
}

} // namespace quorl::PocketTtsKeyOrdering
