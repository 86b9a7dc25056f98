#pragma once

#include "QuorlAudio/models/ModelNamesRecognition.hpp"
#include "QuorlAudio/models/repo/Repo.hpp"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace quorl {

// The transducer model families the toolkit knows, with the few numbers that differ between them.
enum class AsrModelVersion { v2, v3, tdtCtc110m, tdtJa };

// The case name: "v2", "v3", "tdtCtc110m", "tdtJa".
std::string_view description(AsrModelVersion version);

// The hub repository holding the version's model files.
Repo repo(AsrModelVersion version);

// The id of the blank token.
int blankId(AsrModelVersion version);

// The depth of the decoder's recurrent state.
int decoderLayers(AsrModelVersion version);

// The width of one encoder output frame.
int encoderHiddenSize(AsrModelVersion version);

// Whether the preprocessor contains the encoder (no separate encoder model).
bool hasFusedEncoder(AsrModelVersion version);

// The version's compiled models and vocabulary, all directly in its model folder.
std::string preprocessorFileName(AsrModelVersion version);
// None for the fused tdtCtc110m. Only v3 comes with an encoder of each precision; the others ignore it.
std::optional<std::string> encoderFileName(AsrModelVersion version, ParakeetEncoderPrecision precision);
std::string decoderFileName(AsrModelVersion version);
std::string jointFileName(AsrModelVersion version);
std::string vocabularyFileName(AsrModelVersion version);

// The variant the model catalogue and the hub are asked for: the precision's raw value for v3, none for the
// versions whose repository holds a single encoder.
std::optional<std::string> modelVariant(AsrModelVersion version, ParakeetEncoderPrecision precision);

// Operations given a directory work beside it rather than in it: the models root is the directory's parent,
// and the version's files live in its repository's folder there. So the version's default cache folder
// names its own model folder, and so does any sibling of it.
std::filesystem::path modelsRoot(const std::filesystem::path& directory);
std::filesystem::path modelFolder(AsrModelVersion version, const std::filesystem::path& directory);

} // namespace quorl
