#include "QuorlAudio/asr/batch/AsrModels.hpp"

#include "QuorlAudio/foundation/AppLogger.hpp"
#include "QuorlAudio/models/ModelCache.hpp"
#include "QuorlAudio/models/ModelNames.hpp"
#include "platform/core/AsciiCase.hpp"
#include "platform/core/Concatenated.hpp"
#include "platform/core/Error.hpp"

#include <algorithm>
#include <array>
#include <cctype>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

namespace quorl {
namespace {

namespace fs = std::filesystem;

std::string withoutEvery(std::string text, std::string_view piece) {
    for (auto found = text.find(piece); found != std::string::npos; found = text.find(piece, found)) {
        text.erase(found, piece.size());
    }
    return text;
}

// The version whose folder the path names, tried in a fixed order; v3 when none does.
AsrModelVersion versionNamedBy(const fs::path& at) {
    const std::array<std::pair<AsrModelVersion, std::string>, 4> patterns{{
        {AsrModelVersion::tdtCtc110m, "parakeet-tdt-ctc-110m"},
        {AsrModelVersion::v2, withoutEvery(name(Repo::parakeetV2), "-coreml")},
        {AsrModelVersion::v3, withoutEvery(name(Repo::parakeetV3), "-coreml")},
        {AsrModelVersion::tdtJa, "parakeet-ja"},
    }};
    const std::string path = platform::core::asciiLowercased(at.string());
    for (const auto& [version, pattern] : patterns) {
        if (path.find(platform::core::asciiLowercased(pattern)) != std::string::npos) {
            return version;
        }
    }
    return AsrModelVersion::v3;
}

// The models a validity check loads, labelled for its log line; the fused version has no encoder.
std::vector<std::pair<std::string, std::string>> labelledModels(AsrModelVersion version,
                                                                ParakeetEncoderPrecision encoderPrecision) {
    std::vector<std::pair<std::string, std::string>> models{{"Preprocessor", preprocessorFileName(version)}};
    if (const auto encoder = encoderFileName(version, encoderPrecision)) {
        models.emplace_back("Encoder", *encoder);
    }
    models.emplace_back("Decoder", decoderFileName(version));
    models.emplace_back("Joint", jointFileName(version));
    return models;
}

} // namespace

bool AsrModels::modelsExist(const fs::path& at, AsrModelVersion version, ParakeetEncoderPrecision encoderPrecision) {
    const fs::path folder = modelFolder(version, at);
    const auto required = ModelNames::getRequiredModelNames(repo(version), modelVariant(version, encoderPrecision));
    std::error_code unreadable;
    return ModelCache::missingModels(folder, required).empty() &&
           fs::exists(folder / vocabularyFileName(version), unreadable);
}

bool AsrModels::modelsExist(const fs::path& at) {
    return modelsExist(at, versionNamedBy(at), ParakeetEncoderPrecision::int8);
}

bool AsrModels::isModelValid(AsrModelVersion version, ParakeetEncoderPrecision encoderPrecision) {
    const fs::path folder = defaultCacheDirectory(version);
    if (!modelsExist(folder, version, encoderPrecision)) {
        logger().info("Model validation failed: model files not found");
        return false;
    }
    const platform::ml::ModelConfiguration configuration{.computeUnits = platform::ml::ComputeUnits::cpuOnly,
                                                         .allowLowPrecisionAccumulationOnGPU = false,
                                                         .functionName = std::nullopt};
    for (const auto& [label, file] : labelledModels(version, encoderPrecision)) {
        try {
            platform::ml::Model::load(folder / file, configuration);
        } catch (...) {
            logger().error(platform::core::concatenated(
                {"Model validation failed: ", label, " - ", platform::core::describe(std::current_exception())}));
            return false;
        }
    }
    return true;
}

} // namespace quorl
