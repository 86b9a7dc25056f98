#include "QuorlAudio/tts/kokoro/KokoroAneModelStore.hpp"

#include "QuorlAudio/foundation/DecimalText.hpp"
#include "QuorlAudio/tts/frontend/KokoroAneConstants.hpp"
#include "QuorlAudio/tts/frontend/KokoroAneError.hpp"
#include "QuorlAudio/tts/frontend/KokoroAneResourceDownloader.hpp"
#include "QuorlAudio/tts/frontend/MandarinBertTokenizer.hpp"
#include "QuorlAudio/tts/frontend/MandarinJiebaHmmTables.hpp"
#include "QuorlAudio/tts/frontend/MandarinPinyinDict.hpp"
#include "QuorlAudio/tts/frontend/MandarinPolyphoneCatalog.hpp"
#include "platform/core/Concatenated.hpp"
#include "platform/core/Error.hpp"
#include "platform/core/SecondsSince.hpp"
#include "platform/sys/PathPresence.hpp"
#include "platform/sys/WholeFile.hpp"

#include <chrono>
#include <exception>
#include <utility>

namespace quorl {
namespace {

namespace fs = std::filesystem;
namespace downloader = KokoroAneResourceDownloader;
using platform::core::concatenated;
using Clock = std::chrono::steady_clock;

constexpr int polyphoneMaxLength = 512;

std::string currentErrorText() { return platform::core::describe(std::current_exception()); }

} // namespace

KokoroAneModelStore::KokoroAneModelStore(std::optional<fs::path> directory, KokoroAneComputeUnits computeUnits,
                                         KokoroAneVariant variant)
    : directory_(std::move(directory)), computeUnits_(computeUnits), variant_(variant) {}

void KokoroAneModelStore::loadIfNeeded() {
    const std::lock_guard lock(mutex_);
    if (!models_.empty()) {
        return;
    }
    const auto repository = downloader::ensureModels(variant_, directory_);
    auto models = loadModels(repository);
    auto vocab = KokoroAneVocab::load(repository / "vocab.json");
    logger_.info("Loaded vocab (" + std::to_string(vocab.map.size()) + " entries)");
    models_ = std::move(models);
    vocab_ = std::move(vocab);
    repoDirectory_ = repository;
    voicePackLocked(std::string(defaultVoice(variant_)));
}

std::map<KokoroAneStage, KokoroAneModelStore::ModelPointer>
KokoroAneModelStore::loadModels(const fs::path& repository) const {
    logger_.info("Loading 7 KokoroAne CoreML models from " + repository.string() + "...");
    const auto start = Clock::now();
    std::map<KokoroAneStage, ModelPointer> models;
    for (const auto stage : platform::core::allCases<KokoroAneStage>()) {
        const std::string name(bundleName(stage));
        const auto url = repository / name;
        if (!platform::sys::isPresent(url)) {
            throw KokoroAneError::modelNotLoaded(name);
        }
        const auto stageStart = Clock::now();
        platform::ml::ModelConfiguration configuration;
        configuration.computeUnits = computeUnits_.forStage(stage);
        configuration.allowLowPrecisionAccumulationOnGPU = true;
        models[stage] = platform::ml::Model::load(url, configuration);
        logger_.info("  loaded " + name + " in " +
                     fixedDecimalText(platform::core::secondsSince(stageStart) * 1000.0, 0) + " ms");
    }
    logger_.info("All 7 KokoroAne models loaded in " + fixedDecimalText(platform::core::secondsSince(start), 2) + "s");
    return models;
}

KokoroAneModelStore::ModelPointer KokoroAneModelStore::model(KokoroAneStage stage) const {
    const std::lock_guard lock(mutex_);
    const auto found = models_.find(stage);
    if (found == models_.end()) {
        throw KokoroAneError::modelNotLoaded(std::string(bundleName(stage)));
    }
    return found->second;
}

KokoroAneVocab KokoroAneModelStore::vocabulary() const {
    auto loaded = vocab();
    if (!loaded) {
        throw KokoroAneError::modelNotLoaded("vocab.json");
    }
    return std::move(*loaded);
}

std::optional<KokoroAneVocab> KokoroAneModelStore::vocab() const {
    const std::lock_guard lock(mutex_);
    return vocab_;
}

bool KokoroAneModelStore::isLoaded() const {
    const std::lock_guard lock(mutex_);
    return models_.size() == platform::core::allCases<KokoroAneStage>().size() && vocab_.has_value();
}

KokoroAneModelStore::VoicePackPointer KokoroAneModelStore::voicePack(const std::string& name) {
    const std::lock_guard lock(mutex_);
    return voicePackLocked(name);
}

KokoroAneModelStore::VoicePackPointer KokoroAneModelStore::voicePackLocked(const std::string& name) {
    if (const auto cached = voicePacks_.find(name); cached != voicePacks_.end()) {
        return cached->second;
    }
    if (!repoDirectory_) {
        throw KokoroAneError::modelNotLoaded("voice pack (repo not initialized)");
    }
    const auto file = downloader::ensureVoicePack(name, *repoDirectory_, variant_);
    auto pack = std::make_shared<const KokoroAneVoicePack>(KokoroAneVoicePack::load(file));
    voicePacks_[name] = pack;
    logger_.info("Loaded voice pack '" + name + "'");
    return pack;
}

MandarinG2P KokoroAneModelStore::mandarinG2PPipeline() {
    const std::lock_guard lock(mutex_);
    if (mandarinG2P_) {
        return *mandarinG2P_;
    }
    if (variant_ != KokoroAneVariant::mandarin) {
        throw KokoroAneError::inputProcessingFailed("Mandarin G2P requested on a non-mandarin store");
    }
    if (!repoDirectory_) {
        throw KokoroAneError::modelNotLoaded("Mandarin G2P (repo not initialized)");
    }
    mandarinG2P_ = buildMandarinG2P(*repoDirectory_);
    return *mandarinG2P_;
}

MandarinG2P KokoroAneModelStore::buildMandarinG2P(const fs::path& repository) const {
    const auto folder = downloader::ensureMandarinG2P(repository);
    auto singles =
        MandarinPinyinDict::parseSingles(platform::sys::wholeFile(folder / KokoroAneConstants::g2pPinyinSingleFile));
    auto phrases =
        MandarinPinyinDict::parsePhrases(platform::sys::wholeFile(folder / KokoroAneConstants::g2pPinyinPhrasesFile));
    auto dict = std::make_shared<const MandarinPinyinDict>(std::move(phrases), std::move(singles));
    auto jiebaHmm = loadJiebaHmm(repository);
    auto g2pw = loadG2pwIfAvailable(repository);
    logger_.info(concatenated({"Loaded Mandarin G2P (phrases=", std::to_string(dict->phrases().size()),
                               ", singles=", std::to_string(dict->singles().size()),
                               ", jieba=", jiebaHmm ? "true" : "false", ", g2pw=", g2pw ? "on" : "off", ")"}));
    MandarinG2P pipeline(std::move(dict), std::move(jiebaHmm), std::move(g2pw));
    pipeline.setCustomLexicon(mandarinCustomLexicon_);
    return pipeline;
}

std::shared_ptr<const MandarinJiebaHmm> KokoroAneModelStore::loadJiebaHmm(const fs::path& repository) const {
    const auto folder = downloader::ensureMandarinJiebaHmm(repository);
    if (!folder) {
        return nullptr;
    }
    try {
        const auto start = platform::sys::wholeFile(*folder / KokoroAneConstants::jiebaHmmStartFile);
        const auto trans = platform::sys::wholeFile(*folder / KokoroAneConstants::jiebaHmmTransFile);
        const auto emit = platform::sys::wholeFile(*folder / KokoroAneConstants::jiebaHmmEmitFile);
        auto tables = MandarinJiebaHmmTables::fromData(start, trans, emit);
        logger_.info("Loaded jieba HMM tables (emit chars=" + std::to_string(tables.emit.size()) + ")");
        return std::make_shared<const MandarinJiebaHmm>(std::move(tables));
    } catch (const std::exception&) {
        logger_.warning("Jieba HMM tables failed to parse (" + currentErrorText() + "); HMM segmentation disabled.");
        return nullptr;
    }
}

std::shared_ptr<const MandarinG2pwModel> KokoroAneModelStore::loadG2pwIfAvailable(const fs::path& repository) const {
    const auto folder = downloader::ensureMandarinG2pw(repository);
    if (!folder) {
        return nullptr;
    }
    try {
        auto tokenizer = MandarinBertTokenizer::load(*folder / KokoroAneConstants::g2pwVocabFile);
        MandarinPolyphoneCatalog catalog(
            platform::sys::wholeFile(*folder / KokoroAneConstants::g2pwPolyphonicCharsFile));
        platform::ml::ModelConfiguration configuration;
        configuration.computeUnits = platform::ml::ComputeUnits::cpuAndNeuralEngine;
        auto model = platform::ml::Model::load(*folder / KokoroAneConstants::g2pwModelBundle, configuration);
        return std::make_shared<const MandarinG2pwModel>(std::move(model), std::move(tokenizer), std::move(catalog),
                                                         polyphoneMaxLength);
    } catch (const std::exception&) {
        logger_.info("g2pW load failed (" + currentErrorText() + ") \u2014 Mandarin G2P will run dict-only");
        return nullptr;
    }
}

void KokoroAneModelStore::setMandarinCustomLexicon(MandarinCustomLexicon lexicon) {
    const std::lock_guard lock(mutex_);
    if (mandarinG2P_) {
        mandarinG2P_->setCustomLexicon(lexicon);
    }
    mandarinCustomLexicon_ = std::move(lexicon);
}

void KokoroAneModelStore::cleanup() {
    const std::lock_guard lock(mutex_);
    models_.clear();
    voicePacks_.clear();
    vocab_.reset();
    repoDirectory_.reset();
    mandarinG2P_.reset();
}

} // namespace quorl
