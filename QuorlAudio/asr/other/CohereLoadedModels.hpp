#pragma once

#include "QuorlAudio/asr/other/CohereDecoderVariant.hpp"
#include "QuorlAudio/foundation/TokenVocabulary.hpp"

#include "platform/ml/ComputeUnits.hpp"
#include "platform/ml/Model.hpp"

#include <filesystem>
#include <memory>

namespace quorl {

// The loaded Cohere set: the encoder, the cache-external decoder of one variant and the vocabulary. A plain
// value: copies share the models, which serve any number of transcriptions.
struct CohereLoadedModels {
    struct LoadRequest {
        // Holds "cohere_encoder.mlmodelc".
        std::filesystem::path encoderDir;
        // Holds the variant's compiled decoder.
        std::filesystem::path decoderDir;
        // Holds "vocab.json".
        std::filesystem::path vocabDir;
        CohereDecoderVariant decoderVariant;
        platform::ml::ComputeUnits computeUnits;
    };

    std::shared_ptr<platform::ml::Model> encoder;
    std::shared_ptr<platform::ml::Model> decoder;
    TokenVocabulary vocabulary;
    CohereDecoderVariant decoderVariant;

    // Loads both models with one configuration and the vocabulary; downloads nothing. A missing decoder
    // fails with CohereAsrError::modelNotFound, a decoder without the input "k_cache_0" with decodingFailed;
    // runtime, file and JSON errors pass through unchanged.
    static CohereLoadedModels loadModels(const LoadRequest& request);

    // "vocab.json": an object from decimal ids (optional sign, digits only) to pieces; other keys are
    // skipped. Any other shape fails with CohereAsrError::modelNotFound("Invalid vocab.json format").
    static TokenVocabulary loadVocabulary(const std::filesystem::path& vocabDir);
};

} // namespace quorl
