#include "QuorlAudio/asr/biasing/ParakeetLanguageModels.hpp"

#include "QuorlAudio/asr/batch/AsrModelsError.hpp"
#include "QuorlAudio/foundation/AppLogger.hpp"
#include "QuorlAudio/foundation/MLModelConfigurationUtils.hpp"
#include "QuorlAudio/models/ModelHub.hpp"
#include "platform/core/Concatenated.hpp"
#include "platform/sys/PathPresence.hpp"
#include "platform/sys/WholeFile.hpp"
#include "platform/text/DecimalInteger.hpp"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <limits>
#include <system_error>
#include <utility>
#include <vector>

namespace quorl {
namespace {

namespace fs = std::filesystem;
using platform::core::concatenated;
using platform::ml::ComputeUnits;
using platform::ml::ModelConfiguration;
using Family = ParakeetLanguageModelConfig;

AppLogger logger(const Family& family) { return AppLogger(family.logCategory); }

// The full-precision encoder only when asked for and offered; the int8 (or only) one otherwise.
const std::string& chosenEncoder(const Family& family, bool useInt8Encoder) {
    if (family.hasBothEncoders && !useInt8Encoder && family.fp32EncoderFile) {
        return *family.fp32EncoderFile;
    }
    return family.encoderFile;
}

std::vector<std::string> downloadNames(const Family& family, const ParakeetLanguageModels::DownloadRequest& request) {
    std::vector<std::string> names{family.preprocessorFile, family.decoderFile};
    if (family.hasBothEncoders) {
        const std::string& chosen = chosenEncoder(family, request.useInt8Encoder);
        names.push_back(chosen);
        if (request.downloadBothEncoders && family.fp32EncoderFile) {
            names.push_back(chosen == family.encoderFile ? *family.fp32EncoderFile : family.encoderFile);
        }
    } else {
        names.push_back(family.encoderFile);
    }
    if (family.jointFile) {
        names.push_back(*family.jointFile);
    }
    return names;
}

std::string encoderTag(const Family& family, bool useInt8Encoder) {
    if (!family.hasBothEncoders) {
        return "default";
    }
    return useInt8Encoder ? "int8" : "fp32";
}

// The models root that holds the set's folder: `folder` less the repository's folder name (which may span
// two levels) when it ends with it, else its parent.
fs::path modelsRoot(const fs::path& folder, const Family& family) {
    const fs::path name(folderName(family.repo));
    std::vector<fs::path> tail(name.begin(), name.end());
    fs::path root = folder.lexically_normal();
    if (!root.has_filename()) {
        root = root.parent_path();
    }
    for (auto part = tail.rbegin(); part != tail.rend(); ++part) {
        if (root.filename() != *part) {
            return folder.lexically_normal().parent_path();
        }
        root = root.parent_path();
    }
    return root;
}

ParakeetLanguageModels::Vocabulary arrayVocabulary(const nlohmann::json& document) {
    ParakeetLanguageModels::Vocabulary vocabulary;
    for (std::size_t id = 0; id < document.size(); ++id) {
        vocabulary.emplace(static_cast<int>(id), document[id].get<std::string>());
    }
    return vocabulary;
}

// Keys that are not decimal integers in the range of token ids are skipped.
ParakeetLanguageModels::Vocabulary objectVocabulary(const nlohmann::json& document) {
    ParakeetLanguageModels::Vocabulary vocabulary;
    for (const auto& [key, piece] : document.items()) {
        const auto id = platform::text::decimalInteger(key);
        if (id && *id >= std::numeric_limits<int>::min() && *id <= std::numeric_limits<int>::max()) {
            vocabulary.insert_or_assign(static_cast<int>(*id), piece.get<std::string>());
        }
    }
    return vocabulary;
}

bool allStrings(const nlohmann::json& document) {
    return std::all_of(document.begin(), document.end(), [](const nlohmann::json& value) { return value.is_string(); });
}

} // namespace

ModelConfiguration ParakeetLanguageModels::defaultConfiguration() {
    return MLModelConfigurationUtils::defaultConfiguration(ComputeUnits::cpuAndNeuralEngine);
}

fs::path ParakeetLanguageModels::defaultCacheDirectory(const Family& family) {
    return MLModelConfigurationUtils::defaultModelsDirectory(family.repo);
}

fs::path ParakeetLanguageModels::setFolder(const fs::path& directory, const Family& family) {
    return modelsRoot(directory, family) / folderName(family.repo);
}

bool ParakeetLanguageModels::modelsExist(const fs::path& at, const Family& family) {
    std::vector<std::string> bundles{family.preprocessorFile, family.decoderFile};
    if (family.hasBothEncoders && family.fp32EncoderFile) {
        if (!platform::sys::isPresent(at / family.encoderFile) &&
            !platform::sys::isPresent(at / *family.fp32EncoderFile)) {
            return false;
        }
    } else {
        bundles.push_back(family.encoderFile);
    }
    if (family.jointFile) {
        bundles.push_back(*family.jointFile);
    }
    return std::all_of(bundles.begin(), bundles.end(),
                       [&](const std::string& name) { return platform::sys::isPresent(at / name); }) &&
           platform::sys::isPresent(at / family.vocabularyFile);
}

fs::path ParakeetLanguageModels::download(const Family& family, const DownloadRequest& request) {
    const fs::path folder = setFolder(request.to ? *request.to : defaultCacheDirectory(family), family);
    logger(family).info(concatenated({"Preparing ", family.displayName, " models at: ", folder.string()}));
    if (request.force) {
        fs::remove_all(folder);
    } else if (modelsExist(folder, family)) {
        logger(family).info(concatenated({family.displayName, " models already present at: ", folder.string()}));
        return folder;
    }
    // The loaded models are dropped: loading serves to fetch the set and to prove that it loads.
    ModelHub::shared().loadModels({.repo = family.repo,
                                   .modelNames = downloadNames(family, request),
                                   .directory = modelsRoot(folder, family),
                                   .computeUnits = ComputeUnits::cpuAndNeuralEngine},
                                  request.progressHandler);
    logger(family).info(concatenated({"Successfully downloaded ", family.displayName, " models"}));
    return folder;
}

ParakeetLanguageModels ParakeetLanguageModels::load(const fs::path& from, const Family& family,
                                                    const LoadRequest& request) {
    const fs::path folder = setFolder(from, family);
    logger(family).info(concatenated({"Loading ", family.displayName, " models from: ", folder.string()}));
    const ModelConfiguration configuration = request.configuration.value_or(defaultConfiguration());
    const std::string& encoderFile = chosenEncoder(family, request.useInt8Encoder);
    std::vector<std::string> names{family.preprocessorFile, encoderFile, family.decoderFile};
    if (family.jointFile) {
        names.push_back(*family.jointFile);
    }
    auto models = ModelHub::shared().loadModels({.repo = family.repo,
                                                 .modelNames = names,
                                                 .directory = modelsRoot(folder, family),
                                                 .computeUnits = configuration.computeUnits},
                                                request.progressHandler);
    ParakeetLanguageModels set{.preprocessor = models[family.preprocessorFile],
                               .encoder = models[encoderFile],
                               .decoder = models[family.decoderFile],
                               .configuration = configuration,
                               .blankId = family.blankId};
    if (!set.preprocessor || !set.encoder || !set.decoder) {
        throw AsrModelsError::loadingFailed(concatenated(
            {"Failed to load ", family.displayName, " models (preprocessor, encoder, or decoder missing)"}));
    }
    if (family.jointFile) {
        set.joint = models[*family.jointFile];
        if (!set.joint) {
            throw AsrModelsError::loadingFailed(concatenated({"Failed to load ", family.displayName, " joint model"}));
        }
    }
    logger(family).info(concatenated({"Loaded preprocessor, encoder (", encoderTag(family, request.useInt8Encoder),
                                      "), decoder", set.joint ? ", and joint" : ""}));
    set.vocabulary = loadVocabulary(folder, family);
    logger(family).info(concatenated({"Successfully loaded ", family.displayName, " models with ",
                                      std::to_string(set.vocabulary.size()), " tokens"}));
    return set;
}

ParakeetLanguageModels ParakeetLanguageModels::downloadAndLoad(const std::optional<fs::path>& to, const Family& family,
                                                               const LoadRequest& request) {
    const fs::path folder = download(family, {.to = to,
                                              .useInt8Encoder = request.useInt8Encoder,
                                              .downloadBothEncoders = false,
                                              .force = false,
                                              .progressHandler = request.progressHandler});
    return load(folder, family, request);
}

ParakeetLanguageModels::Vocabulary ParakeetLanguageModels::loadVocabulary(const fs::path& from, const Family& family) {
    const fs::path path = from / family.vocabularyFile;
    if (!platform::sys::isPresent(path)) {
        throw AsrModelsError::modelNotFound("vocab.json", path);
    }
    const auto document = nlohmann::json::parse(platform::sys::wholeFile(path), nullptr, false);
    Vocabulary vocabulary;
    if (document.is_array() && allStrings(document)) {
        vocabulary = arrayVocabulary(document);
    } else if (document.is_object() && allStrings(document)) {
        vocabulary = objectVocabulary(document);
    } else {
        throw AsrModelsError::loadingFailed("Failed to parse vocab.json - expected array or dictionary format");
    }
    logger(family).info(concatenated({"Loaded ", family.displayName, " vocabulary with ",
                                      std::to_string(vocabulary.size()), " tokens from ", path.string()}));
    return vocabulary;
}

} // namespace quorl
