#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace quorl {

// One multilingual streaming variant: the chunk and mel geometry, the encoder's cache shapes, the vocabulary
// and blank, the decoder's state shape, the language prompts the encoder accepts and the ids of the
// language-tag tokens. The defaults describe the 1120 ms variant.
struct NemotronMultilingualStreamingConfig {
    std::int64_t sampleRate = 16000;
    std::int64_t melFeatures = 128;
    std::int64_t chunkMelFrames = 112;
    std::int64_t chunkMs = 1120;
    std::int64_t preEncodeCache = 9;
    std::int64_t totalMelFrames = 121;
    std::int64_t vocabSize = 13087;
    std::int64_t blankIdx = 13087;
    std::int64_t encoderDim = 1024;
    std::int64_t decoderHidden = 640;
    std::int64_t decoderLayers = 2;
    std::vector<std::int64_t> cacheChannelShape{1, 24, 56, 1024};
    std::vector<std::int64_t> cacheTimeShape{1, 24, 1024, 8};
    std::int64_t numPrompts = 128;
    std::int64_t defaultPromptId = 101;
    std::map<std::string, std::int64_t> promptDictionary{{"auto", 101}};
    std::set<std::int64_t> langTagTokenIds;

    // Reads the variant's "metadata.json" itself. A key that is missing or holds another type takes its
    // fallback: "chunk_ms" is the chunk's mel frames x 10, "total_mel_frames" the chunk's mel frames + 9,
    // "blank_idx" the integer under "vocab_size", the rest their defaults above. Throws the file system's
    // error for an unreadable file, the JSON reader's for text that is not JSON, and
    // ASRError::processingFailed for a top level that is not an object ("Invalid multilingual metadata.json
    // format") or a geometry no chunk could be cut or decoded with (see the checks in the source).
    static NemotronMultilingualStreamingConfig read(const std::filesystem::path& url);

    // Audio samples of one chunk: 160 per mel frame.
    std::int64_t chunkSamples() const { return chunkMelFrames * 160; }

    // The prompt of a language code: the code itself, then with "_" as "-", then as language-REGION
    // ("en_us" finds "en-US"), then the language alone ("DE-AT" finds "de"); the default prompt for no
    // code, an empty one or no match.
    std::int64_t promptId(const std::optional<std::string>& language) const;

    bool operator==(const NemotronMultilingualStreamingConfig&) const = default;
};

} // namespace quorl
