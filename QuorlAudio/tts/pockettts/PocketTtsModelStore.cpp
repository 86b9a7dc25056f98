#include "QuorlAudio/tts/pockettts/PocketTtsModelStore.hpp"

#include "QuorlAudio/foundation/AppLogger.hpp"
#include "QuorlAudio/foundation/DecimalText.hpp"
#include "QuorlAudio/models/ModelNamesSynthesis.hpp"
#include "QuorlAudio/tts/pockettts/PocketTTSError.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsModelLoader.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsResourceDownloader.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsVoiceCloner.hpp"
#include "platform/core/Concatenated.hpp"
#include "platform/core/SecondsSince.hpp"
#include "platform/sys/PathPresence.hpp"

#include <chrono>
#include <utility>

namespace quorl {
namespace {

namespace fs = std::filesystem;
using platform::core::concatenated;
using platform::ml::Model;

const AppLogger& logger() {
    static const AppLogger instance("rev.ararerezod.evi", "PocketTtsModelStore");
    return instance;
}

// The accessors' "not loaded" texts all start alike.
PocketTTSError missing(const std::string& what) { return PocketTTSError::modelNotFound("PocketTTS " + what); }

const char* const mimiEncoderMissing = "Mimi encoder not loaded. Call loadMimiEncoderIfNeeded() first.";

template <class Value> const Value& present(const std::optional<Value>& value, const std::string& what) {
    if (!value) {
        throw missing(what);
    }
    return *value;
}

const std::shared_ptr<Model>& present(const std::shared_ptr<Model>& model, const std::string& what) {
    if (model == nullptr) {
        throw missing(what);
    }
    return model;
}

} // namespace

PocketTtsModelStore::PocketTtsModelStore(PocketTtsModelSelection selection) : selection_(std::move(selection)) {}

void PocketTtsModelStore::loadIfNeeded() {
    const std::lock_guard loading(loadMutex_);
    if (const std::lock_guard lock(mutex_); models_) {
        return;
    }
    const auto root = PocketTtsResourceDownloader::ensureModels(selection_);
    {
        const std::lock_guard lock(mutex_);
        languageRootDirectory_ = root;
    }
    logger().info(concatenated({"Loading PocketTTS CoreML models (language=", rawValue(selection_.language),
                                ", precision=", description(selection_.precision), ")..."}));
    auto models = PocketTtsModelLoader::load(selection_, root, logger());
    const std::lock_guard lock(mutex_);
    models_ = std::move(models);
}

std::shared_ptr<const PocketTtsVoiceData> PocketTtsModelStore::voiceData(const std::string& voice) {
    fs::path root;
    {
        const std::lock_guard lock(mutex_);
        if (const auto cached = voiceCache_.find(voice); cached != voiceCache_.end()) {
            return cached->second;
        }
        root = present(languageRootDirectory_, "repository not loaded");
    }
    auto data = std::make_shared<const PocketTtsVoiceData>(
        PocketTtsResourceDownloader::ensureVoice(voice, selection_.language, root));
    const std::lock_guard lock(mutex_);
    voiceCache_.insert_or_assign(voice, data);
    return data;
}

void PocketTtsModelStore::loadMimiEncoderIfNeeded() {
    const std::lock_guard loading(loadMutex_);
    if (const std::lock_guard lock(mutex_); mimiEncoderModel_ != nullptr) {
        return;
    }
    const auto bundle = PocketTtsResourceDownloader::ensureMimiEncoder(selection_.directory);
    logger().info("Loading Mimi encoder for voice cloning...");
    const auto start = std::chrono::steady_clock::now();
    auto encoder = PocketTtsModelLoader::loadMimiEncoder(bundle);
    {
        const std::lock_guard lock(mutex_);
        mimiEncoderModel_ = std::move(encoder);
    }
    logger().info(
        concatenated({"Mimi encoder loaded in ", fixedDecimalText(platform::core::secondsSince(start), 2), "s"}));
}

const PocketTtsLoadedModels& PocketTtsModelStore::loaded(const std::string& what) const {
    return present(models_, what);
}

std::shared_ptr<Model> PocketTtsModelStore::condStep() const {
    const std::lock_guard lock(mutex_);
    return present(models_ ? models_->conditioner : nullptr, "cond_step model not loaded");
}

std::shared_ptr<Model> PocketTtsModelStore::condPrefill() const {
    const std::lock_guard lock(mutex_);
    return present(models_ ? models_->conditioner : nullptr, "cond_prefill model not loaded");
}

bool PocketTtsModelStore::hasCondPrefill() const {
    const std::lock_guard lock(mutex_);
    return models_ && models_->conditioner != nullptr;
}

std::shared_ptr<Model> PocketTtsModelStore::flowlmStep() const {
    const std::lock_guard lock(mutex_);
    return present(models_ ? models_->flowlmStep : nullptr, "flowlm_step model not loaded");
}

std::shared_ptr<Model> PocketTtsModelStore::flowDecoder() const {
    const std::lock_guard lock(mutex_);
    return present(models_ ? models_->flowDecoder : nullptr, "flow_decoder model not loaded");
}

std::shared_ptr<Model> PocketTtsModelStore::mimiDecoder() const {
    const std::lock_guard lock(mutex_);
    return present(models_ ? models_->mimiDecoder : nullptr, "mimi_decoder model not loaded");
}

std::shared_ptr<const PocketTtsConstantsBundle> PocketTtsModelStore::constants() const {
    const std::lock_guard lock(mutex_);
    return loaded("constants not loaded").constants;
}

PocketTtsStateModels PocketTtsModelStore::stateModels() const {
    const std::lock_guard lock(mutex_);
    return present(models_ ? models_->stateModels : std::nullopt, "state models not loaded");
}

PocketTtsLayerKeys PocketTtsModelStore::condStepLayerKeys() const {
    const std::lock_guard lock(mutex_);
    return present(models_ ? models_->condLayerKeys : std::nullopt, "cond_step layer keys not discovered");
}

std::optional<PocketTtsLayerKeys> PocketTtsModelStore::condPrefillStepLayerKeys() const {
    const std::lock_guard lock(mutex_);
    return models_ ? models_->condLayerKeys : std::nullopt;
}

PocketTtsLayerKeys PocketTtsModelStore::flowLMStepLayerKeys() const {
    const std::lock_guard lock(mutex_);
    return present(models_ ? models_->flowlmLayerKeys : std::nullopt, "flowlm_step layer keys not discovered");
}

PocketTtsMimiKeys PocketTtsModelStore::mimiDecoderKeys() const {
    const std::lock_guard lock(mutex_);
    return loaded("mimi_decoder keys not discovered").mimiDecoderKeys;
}

fs::path PocketTtsModelStore::repoDir() const {
    const std::lock_guard lock(mutex_);
    return present(languageRootDirectory_, "repository not loaded");
}

std::shared_ptr<Model> PocketTtsModelStore::mimiEncoder() const {
    const std::lock_guard lock(mutex_);
    if (mimiEncoderModel_ == nullptr) {
        throw PocketTTSError::modelNotFound(mimiEncoderMissing);
    }
    return mimiEncoderModel_;
}

bool PocketTtsModelStore::isMimiEncoderAvailable() const {
    const auto root = languageRoot();
    return root && platform::sys::isPresent(root->parent_path().parent_path() / ModelNames::PocketTTS::mimiEncoderFile);
}

std::optional<fs::path> PocketTtsModelStore::languageRoot() const {
    const std::lock_guard lock(mutex_);
    return languageRootDirectory_;
}

PocketTtsVoiceData PocketTtsModelStore::cloneVoice(const fs::path& from) const {
    return PocketTtsVoiceCloner::cloneVoice(from, *mimiEncoder());
}

PocketTtsVoiceData PocketTtsModelStore::cloneVoice(std::span<const float> from) const {
    return PocketTtsVoiceCloner::cloneVoice(from, *mimiEncoder());
}

} // namespace quorl
