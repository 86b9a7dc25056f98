#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace quorl {

// The phoneme alphabet of the Kokoro models: one user-perceived character (UTF-8) to the id the first model
// stage takes, and the framing of one chunk's phoneme string into those ids.
struct KokoroAneVocab {
    std::unordered_map<std::string, std::int32_t> map;

    // Reads "vocab.json": a JSON object from phoneme character to integer id. Entries whose key is not exactly
    // one character or whose value is not an integer are skipped. Throws KokoroAneError vocabMissing when there
    // is no file, vocabParseFailed when the top level is not an object or an id does not fit 32 bits; read and
    // JSON errors pass through.
    static KokoroAneVocab load(const std::filesystem::path& file);

    // bos, the id of every known character in order (unknown ones are dropped), eos. Throws
    // KokoroAneError phonemeSequenceTooLong when the string has more than maxPhonemeLength characters.
    std::vector<std::int32_t> encode(std::string_view phonemes) const;
};

} // namespace quorl
