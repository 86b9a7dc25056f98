#pragma once

#include "QuorlAudio/models/ModelNamesDiarization.hpp"
#include "QuorlAudio/models/ModelNamesRecognition.hpp"
#include "QuorlAudio/models/ModelNamesSynthesis.hpp"
#include "QuorlAudio/models/repo/Repo.hpp"

#include <optional>
#include <set>
#include <string>

// The catalogue of model file names: one namespace per model family with its base names, its compiled bundle
// names (".mlmodelc" folders), its plain files and its required sets. Every name is a path relative to the
// repository's cache folder and is compared exactly.
namespace quorl::ModelNames {

// The names that must exist in the repository's cache folder before its models count as present. The
// variant is the one the model manager passed to the hub; most repositories ignore it. The result is a new
// set the caller may extend.
std::set<std::string> getRequiredModelNames(Repo repo, const std::optional<std::string>& variant = std::nullopt);

} // namespace quorl::ModelNames
