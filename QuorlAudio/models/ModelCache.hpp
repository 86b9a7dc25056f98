#pragma once

#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace quorl {

// The file-system operations on the model cache: models root / repository folder / model file, where a
// compiled model is a ".mlmodelc" folder that holds "coremldata.bin". A repository folder may hold the
// record of its last listing (see ListingRecord), which tells which files a complete name needs.
class ModelCache {
public:
    // Afterwards a directory exists at `url`. A file (or a link that leads to no folder) standing where a
    // folder of the path should be is removed and replaced by a folder, logged as a warning, but only
    // strictly below `within`: nothing outside the cache is ever deleted, the levels up to `within` are
    // created plainly, and the walk stops repairing at a link to a folder, whose insides are not the
    // cache's own. Throws the file-system error of the first creation or removal that failed.
    static void createDirectoryRobustly(const std::filesystem::path& url, const std::filesystem::path& within);

    // The names of `models` for which nothing exists at folder / name ("/" in a name addresses a nested
    // path), or, when the folder holds a listing record, some recorded file at or below the name is absent
    // or not of its listed size; sorted ascending.
    static std::vector<std::string> missingModels(const std::filesystem::path& folder,
                                                  const std::set<std::string>& models);

    // Returns when `url` is a folder that holds "coremldata.bin"; otherwise throws FileError naming
    // `name`. Nothing else inside the bundle is inspected.
    static void validateCompiledModelLayout(const std::filesystem::path& url, const std::string& name);

    // Deletes the file or folder at `url` with everything in it and forgets the models loaded from it. A
    // folder already gone is no failure; other failures are logged, never thrown.
    static void purgeCorruptedCache(const std::filesystem::path& url);
};

} // namespace quorl
