#pragma once

#include "QuorlAudio/models/ProgressReporter.hpp"
#include "QuorlAudio/tts/frontend/KokoroAneVariant.hpp"

#include <filesystem>
#include <optional>
#include <string>

// Makes sure that what the Kokoro synthesiser and its English and Mandarin front ends read is on disk,
// fetching what is missing from the model hub. A file counts as present when anything exists at its path;
// present files are never fetched again. Required files throw when they cannot be had; optional ones log why
// and answer none, and the caller switches the matching feature off. `directory`, where taken, is the models
// root; none means the synthesis cache's "Models" folder.
namespace quorl::KokoroAneResourceDownloader {

inline constexpr const char* modelsSubdirectory = "Models";

// The variant's stage models, vocabulary and default voice; returns its repository folder.
std::filesystem::path ensureModels(KokoroAneVariant variant, const std::optional<std::filesystem::path>& directory,
                                   const ProgressHandler& progressHandler = {});

// The English G2P models and their vocabulary, in the models root's "kokoro" folder.
void ensureG2PAssets(const std::optional<std::filesystem::path>& directory,
                     const ProgressHandler& progressHandler = {});

// The English pronunciation lexicon; none when it cannot be had.
std::optional<std::filesystem::path> ensureEnglishLexicon(const std::optional<std::filesystem::path>& directory);

// The voice pack of `voice`, named after its letters, numbers and underscores only. Throws
// KokoroAneError::downloadFailed when the name has none of them.
std::filesystem::path ensureVoicePack(const std::string& voice, const std::filesystem::path& repoDirectory,
                                      KokoroAneVariant variant);

// The two pinyin dictionaries; returns their folder. The progress handler is never called.
std::filesystem::path ensureMandarinG2P(const std::filesystem::path& repoDirectory,
                                        const ProgressHandler& progressHandler = {});

// The three Jieba HMM tables; returns their folder, or none when one cannot be had.
std::optional<std::filesystem::path> ensureMandarinJiebaHmm(const std::filesystem::path& repoDirectory);

// The polyphone model's two text files; returns their folder, or none when one cannot be had or the model
// bundle (fetched with the Mandarin models) is absent.
std::optional<std::filesystem::path> ensureMandarinG2pw(const std::filesystem::path& repoDirectory);

} // namespace quorl::KokoroAneResourceDownloader
