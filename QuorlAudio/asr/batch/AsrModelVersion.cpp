#include "QuorlAudio/asr/batch/AsrModelVersion.hpp"

#include "QuorlAudio/models/ModelNamesRecognition.hpp"

namespace quorl {

std::string_view description(AsrModelVersion version) {
    switch (version) {
    case AsrModelVersion::v2: return "v2";
    case AsrModelVersion::v3: return "v3";
    case AsrModelVersion::tdtCtc110m: return "tdtCtc110m";
    case AsrModelVersion::tdtJa: return "tdtJa";
    }
    return "v3";
}

Repo repo(AsrModelVersion version) {
    switch (version) {
    case AsrModelVersion::v2: return Repo::parakeetV2;
    case AsrModelVersion::v3: return Repo::parakeetV3;
    case AsrModelVersion::tdtCtc110m: return Repo::parakeetTdtCtc110m;
    case AsrModelVersion::tdtJa: return Repo::parakeetJa;
    }
    return Repo::parakeetV3;
}

int blankId(AsrModelVersion version) {
    switch (version) {
    case AsrModelVersion::v3: return 8192;
    case AsrModelVersion::tdtJa: return 3072;
    case AsrModelVersion::v2:
    case AsrModelVersion::tdtCtc110m: return 1024;
    }
    return 1024;
}

int decoderLayers(AsrModelVersion version) { return version == AsrModelVersion::tdtCtc110m ? 1 : 2; }

int encoderHiddenSize(AsrModelVersion version) { return version == AsrModelVersion::tdtCtc110m ? 512 : 1024; }

bool hasFusedEncoder(AsrModelVersion version) { return version == AsrModelVersion::tdtCtc110m; }

std::string preprocessorFileName(AsrModelVersion version) {
    return std::string(version == AsrModelVersion::tdtJa ? ModelNames::TDTJa::preprocessorFile
                                                         : ModelNames::ASR::preprocessorFile);
}

std::optional<std::string> encoderFileName(AsrModelVersion version, ParakeetEncoderPrecision precision) {
    switch (version) {
    case AsrModelVersion::v3: return std::string(encoderFileName(precision));
    case AsrModelVersion::tdtCtc110m: return std::nullopt;
    case AsrModelVersion::tdtJa: return std::string(ModelNames::TDTJa::encoderFile);
    case AsrModelVersion::v2: break;
    }
    return std::string(ModelNames::ASR::encoderFile);
}

std::string decoderFileName(AsrModelVersion version) {
    return std::string(version == AsrModelVersion::tdtJa ? ModelNames::TDTJa::decoderFile
                                                         : ModelNames::ASR::decoderFile);
}

std::string jointFileName(AsrModelVersion version) {
    switch (version) {
    case AsrModelVersion::v3: return std::string(ModelNames::ASR::jointV3File);
    case AsrModelVersion::tdtJa: return std::string(ModelNames::TDTJa::jointFile);
    case AsrModelVersion::v2:
    case AsrModelVersion::tdtCtc110m: break;
    }
    return std::string(ModelNames::ASR::jointFile);
}

std::string vocabularyFileName(AsrModelVersion version) {
    return std::string(version == AsrModelVersion::tdtJa ? ModelNames::TDTJa::vocabularyFile
                                                         : ModelNames::ASR::vocabularyFile);
}

std::optional<std::string> modelVariant(AsrModelVersion version, ParakeetEncoderPrecision precision) {
    if (version != AsrModelVersion::v3) {
        return std::nullopt;
    }
    return std::string(rawValue(precision));
}

std::filesystem::path modelsRoot(const std::filesystem::path& directory) {
    // "Models/v3/" names the folder "v3" just as "Models/v3" does.
    const std::filesystem::path folder = directory.has_filename() ? directory : directory.parent_path();
    return folder.parent_path();
}

std::filesystem::path modelFolder(AsrModelVersion version, const std::filesystem::path& directory) {
    return modelsRoot(directory) / folderName(repo(version));
}

} // namespace quorl
