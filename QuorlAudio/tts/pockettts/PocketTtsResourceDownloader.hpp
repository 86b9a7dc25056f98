#pragma once

#include "QuorlAudio/models/ProgressReporter.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsLanguage.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsModelSelection.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsVoiceData.hpp"

#include <filesystem>
#include <optional>
#include <string_view>

// Makes sure that what a PocketTTS model store reads is in the model cache, fetching what is missing from the
// model hub. Everything lies under the cache base / "Models" / "pocket-tts" at its path in the repository: a
// language pack in "v2.1/<language>", the Mimi encoder of voice cloning beside the packs.
namespace quorl::PocketTtsResourceDownloader {

// The language pack of the selection; returns its root folder. A complete pack is not fetched again; only
// "constants_bin/bos_before_voice.bin", missing from older packs, is added to it when the hub has it (a
// failure there is a warning). A fresh download deletes the flow-LM step model of the other precision. Throws
// the hub client's errors, and PocketTTSError::modelNotFound for a stateful pack without "pocket_state.mlmodelc".
std::filesystem::path ensureModels(const PocketTtsModelSelection& selection,
                                   const ProgressHandler& progressHandler = {});

// The Mimi encoder bundle; throws PocketTTSError::downloadFailed when the hub did not provide it.
std::filesystem::path ensureMimiEncoder(const std::optional<std::filesystem::path>& directory);

// A shipped voice of the pack, read from "constants_bin/<name>.safetensors" and fetched first when missing;
// the name keeps only its letters, numbers and "_". A fetched file that does not load as a voice is deleted,
// so that the next request fetches it again. Throws PocketTTSError::processingFailed for a name with nothing
// left, AssetDownloader::Error for a refused fetch, and the constants loader's errors.
PocketTtsVoiceData ensureVoice(std::string_view voice, PocketTtsLanguage language,
                               const std::filesystem::path& languageRoot);

} // namespace quorl::PocketTtsResourceDownloader
