#pragma once

#include "QuorlAudio/tts/pockettts/PocketTtsConstantsBundle.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsLoadError.hpp"
#include "QuorlAudio/tts/pockettts/PocketTtsVoiceData.hpp"

#include <filesystem>
#include <string_view>

namespace quorl::PocketTtsConstantsLoader {

// The constants of the language pack whose root folder holds "constants_bin": the start latent, the
// text-embedding table, the tokenizer and, when present, the embedding before a cloned voice. Throws LoadError,
// or the file system's error for a file that exists but cannot be read.
PocketTtsConstantsBundle load(const std::filesystem::path& languageRoot);

// A shipped voice: the cache snapshot of "constants_bin/<name>.safetensors", where the name keeps only its
// letters, numbers and "_". Throws LoadError, or the file system's error.
PocketTtsVoiceData loadVoice(std::string_view voice, const std::filesystem::path& languageRoot);

} // namespace quorl::PocketTtsConstantsLoader
