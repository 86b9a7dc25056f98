#include "QuorlAudio/tts/pockettts/PocketTtsConstantsLoader.hpp"

#include "QuorlAudio/foundation/AppLogger.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsVoiceSnapshotReader.hpp"
#include "platform/core/Concatenated.hpp"
#include "platform/sys/WholeFile.hpp"
#include "platform/text/WordCharacters.hpp"

#include <cstring>
#include <optional>
#include <string>

namespace quorl::PocketTtsConstantsLoader {
namespace {

namespace fs = std::filesystem;
using platform::core::concatenated;

constexpr std::int64_t bosEmbeddingCount = 32;
constexpr std::int64_t embeddingRowWidth = 1024;

const AppLogger& logger() {
    static const AppLogger instance("PocketTtsConstantsLoader");
    return instance;
}

// The file's whole 32-bit floats in their stored (native little-endian) layout; trailing bytes are dropped.
std::vector<float> floatsOf(const std::string& bytes) {
    std::vector<float> floats(bytes.size() / sizeof(float));
    if (!floats.empty()) {
        std::memcpy(floats.data(), bytes.data(), floats.size() * sizeof(float));
    }
    return floats;
}

std::string existingFile(const fs::path& file, const std::string& name) {
    if (!fs::exists(file)) {
        throw LoadError::fileNotFound(name);
    }
    return platform::sys::wholeFile(file);
}

std::vector<float> loadFloatArray(const fs::path& file, std::int64_t expectedCount, const std::string& name) {
    auto floats = floatsOf(existingFile(file, name));
    const auto count = static_cast<std::int64_t>(floats.size());
    if (count != expectedCount) {
        throw LoadError::invalidSize(name, expectedCount, count);
    }
    return floats;
}

std::vector<float> loadFloatArrayMultipleOf(const fs::path& file, std::int64_t rowSize, const std::string& name) {
    auto floats = floatsOf(existingFile(file, name));
    const auto count = static_cast<std::int64_t>(floats.size());
    if (count == 0 || count % rowSize != 0) {
        throw LoadError::invalidSize(name, rowSize, count);
    }
    return floats;
}

SentencePieceTokenizer loadTokenizer(const fs::path& constantsFolder) {
    const auto bytes = existingFile(constantsFolder / "tokenizer.model", "tokenizer.model");
    try {
        return SentencePieceTokenizer(bytes);
    } catch (const SentencePieceProto::ParseFailure& failure) {
        throw LoadError::tokenizerLoadFailed(failure.what());
    }
}

std::optional<std::vector<float>> loadBosBeforeVoiceIfPresent(const fs::path& constantsFolder) {
    const auto file = constantsFolder / "bos_before_voice.bin";
    if (!fs::exists(file)) {
        logger().debug("PocketTTS constants_bin/bos_before_voice.bin not present; cloned-voice v1 prefill will fail "
                       "until the language pack is updated");
        return std::nullopt;
    }
    return loadFloatArray(file, embeddingRowWidth, "bos_before_voice");
}

} // namespace

PocketTtsConstantsBundle load(const fs::path& languageRoot) {
    const auto constantsFolder = languageRoot / "constants_bin";
    auto bosEmbedding = loadFloatArray(constantsFolder / "bos_emb.bin", bosEmbeddingCount, "bos_emb");
    auto textEmbedTable =
        loadFloatArrayMultipleOf(constantsFolder / "text_embed_table.bin", embeddingRowWidth, "text_embed_table");
    auto tokenizer = loadTokenizer(constantsFolder);
    auto bosBeforeVoice = loadBosBeforeVoiceIfPresent(constantsFolder);
    logger().info(concatenated({"Loaded PocketTTS constants from ", languageRoot.filename().string()}));
    return PocketTtsConstantsBundle{.bosEmbedding = std::move(bosEmbedding),
                                    .textEmbedTable = std::move(textEmbedTable),
                                    .tokenizer = std::move(tokenizer),
                                    .bosBeforeVoice = std::move(bosBeforeVoice)};
}

PocketTtsVoiceData loadVoice(std::string_view voice, const fs::path& languageRoot) {
    const auto name = platform::text::keepingWordCharacters(voice);
    if (name.empty()) {
        throw LoadError::fileNotFound(concatenated({"invalid voice name: ", voice}));
    }
    const auto fileName = name + ".safetensors";
    auto snapshot = readVoiceSnapshot(existingFile(languageRoot / "constants_bin" / fileName, fileName), name);
    logger().info(
        concatenated({"Loaded PocketTTS voice '", name, "' from safetensors (", std::to_string(snapshot.layers.size()),
                      " layers, seq=", std::to_string(snapshot.cacheSeqLen), ")"}));
    return PocketTtsVoiceData{.audioPrompt = {}, .promptLength = 0, .cacheSnapshot = std::move(snapshot)};
}

} // namespace quorl::PocketTtsConstantsLoader
