#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

namespace quorl {

// The geometry of the English cache-aware streaming model: mel bands and frames per chunk, the mel frames
// carried from one chunk into the next, the encoder's cache shapes, the decoder's size and the blank token.
// The defaults describe the 2240 ms model.
struct NemotronStreamingConfig {
    std::int64_t sampleRate = 16000;
    std::int64_t melFeatures = 128;
    std::int64_t chunkMelFrames = 224;
    std::int64_t chunkMs = 2240;
    std::int64_t preEncodeCache = 9;
    std::int64_t totalMelFrames = 233;
    std::int64_t vocabSize = 1024;
    std::int64_t blankIdx = 1024;
    std::int64_t encoderDim = 1024;
    std::int64_t decoderHidden = 640;
    std::int64_t decoderLayers = 2;
    std::vector<std::int64_t> cacheChannelShape{1, 24, 70, 1024};
    std::vector<std::int64_t> cacheTimeShape{1, 24, 1024, 8};

    // Reads a model folder's "metadata.json". A key that is missing, or holds anything but an integral number
    // (an array of them for the shapes), takes the 1120 ms geometry's value. Throws the file system's error
    // for an unreadable file, the JSON reader's for text that is not JSON, and ASRError::processingFailed for
    // a top level that is not an object ("Invalid metadata.json format") or a geometry no chunk can be
    // decoded with: a size or shape that is not positive, a pre-encode cache that leaves no room in the
    // encoder's mel input, or a blank id outside the 32-bit range.
    static NemotronStreamingConfig read(const std::filesystem::path& url);

    bool operator==(const NemotronStreamingConfig&) const = default;
};

} // namespace quorl
