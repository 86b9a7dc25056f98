#pragma once

#include "QuorlAudio/models/HFTreeLister.hpp"
#include "QuorlAudio/models/RemoteFile.hpp"
#include "platform/core/Sleeper.hpp"

#include <optional>
#include <set>
#include <string>
#include <vector>

namespace quorl {

// The files a whole-repository download takes, listed from the hub. Without a sub-folder: the contents
// of the wanted bundle folders plus every ".json" and ".txt" file in the folders on the way to them.
// With a sub-folder: everything in the wanted bundle folders inside it plus every ".json", ".model" and
// ".bin" file below it; then, for wanted plain files that were not found there, the repository root is
// listed once more (without descending) and files of those names are added. No wanted names at all means
// everything.
std::vector<RemoteFile> listWantedFiles(const std::string& repoRemotePath, const std::set<std::string>& wanted,
                                        const std::optional<std::string>& subFolder, const HFTreeLister::Fetcher& fetch,
                                        platform::core::Sleeper& sleeper);

} // namespace quorl
