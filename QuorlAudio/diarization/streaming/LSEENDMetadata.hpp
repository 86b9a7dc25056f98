#pragma once

#include <nlohmann/json.hpp>

namespace quorl {

// The LS-EEND model's configuration, read from the model's own metadata: every size the LS-EEND components
// use comes from here.
struct LSEENDMetadata {
    // Output frames produced by one prediction.
    int chunkSize = 0;
    float frameDurationSeconds = 0;
    // Speaker slots of the probability output.
    int maxSpeakers = 0;
    int sampleRate = 0;
    // Speaker (attractor) dimension of the decoder state.
    int maxNspks = 0;
    int hopLength = 0;
    int winLength = 0;
    int nMels = 0;
    // Mel frames of context on each side of a chunk.
    int contextSize = 0;
    // Mel frames per output frame.
    int subsampling = 0;
    // Output frames of delay introduced by the model's convolution.
    int convDelay = 0;
    int nUnits = 0;
    int nHeads = 0;
    int encNLayers = 0;
    int decNLayers = 0;
    int convKernelSize = 0;

    // Mel frames in one model input: the chunk's frames with the context on both sides.
    int melFrames() const;
    // The smallest power of two at least winLength; 0 for a winLength of 0 or less.
    int nFFT() const;
    // nUnits / nHeads; 0 without heads.
    int headDim() const;

    // Throws LSEENDError::initializationFailed when no model could have these sizes: a negative size, or no
    // attention head, chunk frame, subsampling or hop to divide by.
    void validate() const;

    // Every member is required. Snake-case keys ("chunk_size") are converted to the field names; a key without
    // underscores is used as it is. Decoding errors of the JSON library are passed on.
    static LSEENDMetadata decode(const nlohmann::json& object);
    // The field names as keys, in declaration order.
    nlohmann::ordered_json encode() const;

    bool operator==(const LSEENDMetadata&) const = default;
};

// A snake-case key in camel case: "enc_n_layers" → "encNLayers"; leading and trailing underscores are kept.
std::string camelCaseKey(const std::string& key);

} // namespace quorl
