#pragma once

#include <string_view>

namespace quorl {

// The two builds of the cache-external Cohere decoder; the caller chooses one, there is no fallback.
enum class CohereDecoderVariant {
    // Takes a self-attention mask of the full cache length.
    v2,
    // Takes a mask as long as the sequence so far.
    v1,
};

// The case name: "v2" or "v1".
std::string_view rawValue(CohereDecoderVariant variant);
// "cohere_decoder_cache_external_v2.mlmodelc" or "cohere_decoder_cache_external.mlmodelc".
std::string_view compiledFileName(CohereDecoderVariant variant);
bool usesStaticSelfMask(CohereDecoderVariant variant);

} // namespace quorl
