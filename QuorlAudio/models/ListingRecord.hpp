#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace quorl {

// The files a repository download listed, each at its path inside the repository folder with its listed
// size, kept in that folder as ".listing.json". With it a later load tells a complete bundle from one whose
// files were never all fetched or were cut; a folder without it (a cache from before the record) is judged
// by presence alone.
struct ListingRecord {
    static constexpr const char* fileName = ".listing.json";

    // Path inside the repository folder ("/"-separated) to listed size in bytes, -1 when none was listed.
    std::map<std::string, std::int64_t> sizes;

    // The record of `repositoryFolder`; none when there is none or it cannot be read.
    static std::optional<ListingRecord> read(const std::filesystem::path& repositoryFolder);
    // Writes the record through a sibling file renamed over it, so no reader sees half of it.
    void write(const std::filesystem::path& repositoryFolder) const;

    // Replaces what is recorded below each of `names` ("<name>" itself and "<name>/…") with `listed`, and
    // adds or replaces every other listed path.
    void replace(const std::set<std::string>& names, const std::map<std::string, std::int64_t>& listed);

    // Whether every recorded file at or below `name` is in `repositoryFolder` at its listed size.
    bool isComplete(const std::filesystem::path& repositoryFolder, const std::string& name) const;
};

} // namespace quorl
