#pragma once

#include "QuorlAudio/models/ModelNamesSynthesis.hpp"
#include "platform/ml/DataType.hpp"
#include "tests/support/LoopbackHub.hpp"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

// Small PocketTTS language packs and Mimi encoders written by the tests: model bundles whose kernels are the
// names below (tests register scripted kernels under them) and the constants of "constants_bin".
namespace pocketttspacks {

inline constexpr const char* repository = "ZirazEvavirivi/pocket-tts-coreml";

inline constexpr const char* conditionerKernel = "pockettts-conditioner";
inline constexpr const char* flowlmKernel = "pockettts-flowlm";
inline constexpr const char* flowDecoderKernel = "pockettts-flow-decoder";
inline constexpr const char* mimiDecoderKernel = "pockettts-mimi-decoder";
inline constexpr const char* stateKernel = "pockettts-state";
inline constexpr const char* mimiEncoderKernel = "pockettts-mimi-encoder";

// Every model bundle of every placement and precision, for a flow LM of `layers` layers, and the constants.
void writeLanguagePack(const std::filesystem::path& languageRoot, std::int64_t layers = 6);
// The bundles and constants the placement and precision need, and nothing else.
void writeRequiredSet(const std::filesystem::path& languageRoot, quorl::PocketTtsPrecision precision,
                      quorl::PocketTtsModelPlacement placement);
// "bos_emb.bin", "text_embed_table.bin" and "tokenizer.model", without "bos_before_voice.bin".
void writeConstants(const std::filesystem::path& languageRoot);
// A Mimi encoder whose "conditioning" output has `frames` frames of the type.
void writeMimiEncoder(const std::filesystem::path& folder, std::size_t frames = 125,
                      platform::ml::DataType dataType = platform::ml::DataType::float32);

// A shipped voice file of six layers.
std::string voiceFile();

// Serves every file below `folder` on the hub, at `prefix` + its path relative to the folder.
void publish(testsupport::LoopbackHub& hub, const std::filesystem::path& folder, const std::string& prefix);

} // namespace pocketttspacks
