#include "QuorlAudio/models/ModelNames.hpp"

#include "QuorlAudio/models/ModelNamesSupport.hpp"

#include <stdexcept>

namespace quorl::ModelNames {
namespace {

// The multilingual recogniser loads its compiled models and the decoder variants without encoder projection.
const std::set<std::string>& nemotronMultilingualRequiredModels() {
    static const auto names = support::nameSet(
        {NemotronMultilingualStreaming::preprocessorFile, NemotronMultilingualStreaming::encoderFile,
         NemotronMultilingualStreaming::decoderFile, NemotronMultilingualStreaming::jointFile, "decoder_joint.mlmodelc",
         "decoder_joint_noencproj.mlmodelc", "joint_noencproj_batched.mlmodelc"});
    return names;
}

std::set<std::string> parakeetV3Models(const std::optional<std::string>& variant) {
    const auto precision = variant == "int4" ? ParakeetEncoderPrecision::int4 : ParakeetEncoderPrecision::int8;
    return ASR::requiredModelsV3(precision);
}

std::set<std::string> diarizerModels(const std::optional<std::string>& variant) {
    return variant == "offline" ? OfflineDiarizer::requiredModels() : Diarizer::requiredModels();
}

// Without a variant every bundle; with one, the variant names a single bundle by its full path.
std::set<std::string> sortformerModels(const std::optional<std::string>& variant) {
    if (!variant) {
        return Sortformer::requiredModels();
    }
    return {*variant};
}

// Without a variant every bundle; with one, the variant names a single bundle without its extension.
std::set<std::string> lseendModels(const std::optional<std::string>& variant) {
    if (!variant) {
        return LSEEND::requiredModels();
    }
    return {support::concatenated({*variant, ".mlmodelc"})};
}

std::set<std::string> styleTts2Models(const std::optional<std::string>& variant) {
    if (variant == "all") {
        return StyleTTS2::allModels();
    }
    if (variant == "t64") {
        return StyleTTS2::bucketModels(64);
    }
    if (variant == "t128") {
        return StyleTTS2::bucketModels(128);
    }
    if (variant == "t256") {
        return StyleTTS2::bucketModels(256);
    }
    return StyleTTS2::requiredModels();
}

} // namespace

std::set<std::string> getRequiredModelNames(Repo repo, const std::optional<std::string>& variant) {
    switch (repo) {
    case Repo::vad: return VAD::requiredModels();
    case Repo::parakeetV3: return parakeetV3Models(variant);
    case Repo::parakeetV2: return ASR::requiredModels();
    case Repo::parakeetCtc110m:
    case Repo::parakeetCtc06b: return CTC::requiredModels();
    case Repo::senseVoiceSmall: return SenseVoice::requiredModels(variant);
    case Repo::paraformerLargeZh: return ParaformerZh::requiredModels();
    case Repo::parakeetJa: return TDTJa::requiredModels();
    case Repo::parakeetEou160:
    case Repo::parakeetEou320:
    case Repo::parakeetEou1280: return ParakeetEOU::requiredModels();
    case Repo::nemotronStreaming2240:
    case Repo::nemotronStreaming1120:
    case Repo::nemotronStreaming560: return NemotronStreaming::requiredModels();
    case Repo::parakeetUnified: return ParakeetUnified::requiredModels(variant);
    case Repo::nemotronMultilingual: return nemotronMultilingualRequiredModels();
    case Repo::diarizer: return diarizerModels(variant);
    case Repo::kokoro: return G2P::requiredModels();
    case Repo::kokoroAne: return KokoroAne::requiredModels();
    case Repo::kokoroAneZh: return KokoroAne::requiredModelsZh();
    case Repo::kokoroAneJa: return KokoroAne::requiredModelsJa();
    case Repo::sortformer: return sortformerModels(variant);
    case Repo::lseendAmi:
    case Repo::lseendCallHome:
    case Repo::lseendDihard2:
    case Repo::lseendDihard3: return lseendModels(variant);
    case Repo::pocketTts: return PocketTTS::requiredModels();
    case Repo::multilingualG2p: return MultilingualG2P::requiredModels();
    case Repo::parakeetTdtCtc110m: return ASR::requiredModelsFused();
    case Repo::cohereTranscribeCoreml: return CohereTranscribe::requiredModels();
    case Repo::styletts2: return styleTts2Models(variant);
    case Repo::supertonic3: return Supertonic3::requiredFiles(variant);
    }
    throw std::invalid_argument("No model catalogue entry for this repository.");
}

} // namespace quorl::ModelNames
