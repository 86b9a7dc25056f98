#include "QuorlAudio/tts/frontend/KokoroAneVocab.hpp"

#include "QuorlAudio/tts/frontend/KokoroAneConstants.hpp"
#include "QuorlAudio/tts/frontend/KokoroAneError.hpp"
#include "platform/core/JsonInt32.hpp"
#include "platform/sys/PathPresence.hpp"
#include "platform/sys/WholeFile.hpp"
#include "platform/text/GraphemeClusters.hpp"

#include <nlohmann/json.hpp>

namespace quorl {
namespace {

bool isOneCharacter(const std::string& key) { return platform::text::graphemeBoundaries(key).size() == 2; }

} // namespace

KokoroAneVocab KokoroAneVocab::load(const std::filesystem::path& file) {
    if (!platform::sys::isPresent(file)) {
        throw KokoroAneError::vocabMissing(file);
    }
    const auto document = nlohmann::json::parse(platform::sys::wholeFile(file));
    if (!document.is_object()) {
        throw KokoroAneError::vocabParseFailed(file, "expected top-level JSON object");
    }
    KokoroAneVocab vocab;
    for (const auto& [key, value] : document.items()) {
        if (!isOneCharacter(key) || !value.is_number_integer()) {
            continue;
        }
        // An id the models could never take means the file belongs to some other model: refuse it whole.
        if (!platform::core::fitsInt32(value)) {
            throw KokoroAneError::vocabParseFailed(file, "id of '" + key + "' does not fit in 32 bits");
        }
        vocab.map.emplace(key, static_cast<std::int32_t>(value.get<std::int64_t>()));
    }
    return vocab;
}

std::vector<std::int32_t> KokoroAneVocab::encode(std::string_view phonemes) const {
    const auto characters = platform::text::graphemeClusters(phonemes);
    if (characters.size() > static_cast<std::size_t>(KokoroAneConstants::maxPhonemeLength)) {
        throw KokoroAneError::phonemeSequenceTooLong(static_cast<int>(characters.size()));
    }
    std::vector<std::int32_t> ids;
    ids.reserve(characters.size() + 2);
    ids.push_back(KokoroAneConstants::bosTokenId);
    for (const auto& character : characters) {
        if (const auto found = map.find(character); found != map.end()) {
            ids.push_back(found->second);
        }
    }
    ids.push_back(KokoroAneConstants::eosTokenId);
    return ids;
}

} // namespace quorl
