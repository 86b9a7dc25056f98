#include "QuorlAudio/asr/other/CohereDecoderVariant.hpp"

#include "QuorlAudio/models/ModelNamesRecognition.hpp"

namespace quorl {

std::string_view rawValue(CohereDecoderVariant variant) { return variant == CohereDecoderVariant::v2 ? "v2" : "v1"; }

std::string_view compiledFileName(CohereDecoderVariant variant) {
    return variant == CohereDecoderVariant::v2 ? ModelNames::CohereTranscribe::decoderCacheExternalV2CompiledFile
                                               : ModelNames::CohereTranscribe::decoderCacheExternalCompiledFile;
}

bool usesStaticSelfMask(CohereDecoderVariant variant) { return variant == CohereDecoderVariant::v2; }

} // namespace quorl
