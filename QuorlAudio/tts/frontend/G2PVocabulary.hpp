#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace quorl {

// The grapheme and phoneme vocabularies of the English G2P model ("g2p_vocab.json"): the word's characters to
// the ids the encoder takes, and the decoder's ids back to phoneme tokens.
struct G2PVocabulary {
    // One user-perceived character to its id.
    std::unordered_map<std::string, std::int32_t> graphemeToId;
    std::unordered_map<std::int32_t, std::string> idToPhoneme;
    std::int32_t bosTokenId = 1;
    std::int32_t eosTokenId = 2;
    std::int32_t unkTokenId = 3;

    // Reads the file's JSON: "grapheme_to_id" (keys of one character only), "id_to_phoneme" (keys that read as
    // decimal integers only) and the optional integer "bos_token_id", "eos_token_id" and "unk_token_id". Throws
    // G2PModelError vocabLoadFailed with "invalid JSON structure" when the two maps are missing or hold values
    // of another kind, or naming the id when one does not fit in 32 bits; JSON syntax errors pass through.
    static G2PVocabulary parse(std::string_view json);

    // bos, each character's id (unk for a character without one), eos; the word is taken as written.
    std::vector<std::int32_t> inputIds(std::string_view word) const;
    // The phoneme tokens of decoded ids, skipping 0, the three special ids and ids without a phoneme.
    std::vector<std::string> phonemes(std::span<const std::int32_t> ids) const;
};

} // namespace quorl
