#include "QuorlAudio/models/WantedFiles.hpp"

#include <algorithm>
#include <initializer_list>
#include <iterator>
#include <string_view>

namespace quorl {
namespace {

// A prefix per wanted name that matches everything inside a bundle folder of that name, never a plain
// file of that name.
std::vector<std::string> bundlePrefixes(const std::set<std::string>& wanted,
                                        const std::optional<std::string>& subFolder) {
    std::vector<std::string> prefixes;
    for (const auto& name : wanted) {
        prefixes.push_back(subFolder ? *subFolder + "/" + name + "/" : name + "/");
    }
    return prefixes;
}

bool endsWithAny(std::string_view path, std::initializer_list<std::string_view> suffixes) {
    return std::ranges::any_of(suffixes, [path](std::string_view suffix) { return path.ends_with(suffix); });
}

std::string_view lastPathComponent(std::string_view path) {
    const auto slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// Accepts the entries of the wanted bundle folders, the folders that lead to them, and the plain files
// of the kinds a family keeps beside its bundles.
class IncludeRule {
public:
    IncludeRule(std::vector<std::string> prefixes, std::optional<std::string> subFolder)
        : prefixes_(std::move(prefixes)), subFolder_(std::move(subFolder)) {}

    bool operator()(const std::string& path, bool isDirectory) const {
        if (subFolder_) {
            const bool insideSubFolder = path.starts_with(*subFolder_ + "/");
            if (isDirectory) {
                return path == *subFolder_ || insideSubFolder || matchesPrefix(path) || leadsToPrefix(path);
            }
            return insideSubFolder &&
                   (endsWithAny(path, {".json", ".model", ".bin"}) || prefixes_.empty() || matchesPrefix(path));
        }
        if (isDirectory) {
            return prefixes_.empty() || matchesPrefix(path) || leadsToPrefix(path);
        }
        return prefixes_.empty() || matchesPrefix(path) || endsWithAny(path, {".json", ".txt"});
    }

private:
    bool matchesPrefix(const std::string& path) const {
        return std::ranges::any_of(prefixes_, [&path](const std::string& prefix) { return path.starts_with(prefix); });
    }

    bool leadsToPrefix(const std::string& path) const {
        const std::string folder = path + "/";
        return std::ranges::any_of(prefixes_,
                                   [&folder](const std::string& prefix) { return prefix.starts_with(folder); });
    }

    std::vector<std::string> prefixes_;
    std::optional<std::string> subFolder_;
};

// Wanted plain files (not bundles) whose last path component no listed file has.
std::set<std::string> unlistedPlainFiles(const std::set<std::string>& wanted, const std::vector<RemoteFile>& files) {
    std::set<std::string_view> listedNames;
    for (const auto& file : files) {
        listedNames.insert(lastPathComponent(file.path));
    }
    std::set<std::string> remaining;
    for (const auto& name : wanted) {
        if (!endsWithAny(name, {".mlmodelc", ".mlpackage"}) && !listedNames.contains(lastPathComponent(name))) {
            remaining.insert(name);
        }
    }
    return remaining;
}

} // namespace

std::vector<RemoteFile> listWantedFiles(const std::string& repoRemotePath, const std::set<std::string>& wanted,
                                        const std::optional<std::string>& subFolder, const HFTreeLister::Fetcher& fetch,
                                        platform::core::Sleeper& sleeper) {
    auto files = HFTreeLister::listTree(repoRemotePath, subFolder.value_or(""),
                                        IncludeRule(bundlePrefixes(wanted, subFolder), subFolder), fetch, sleeper);
    if (!subFolder) {
        return files;
    }
    const auto remaining = unlistedPlainFiles(wanted, files);
    if (remaining.empty()) {
        return files;
    }
    const auto rootFallback = [&remaining](const std::string& path, bool isDirectory) {
        return !isDirectory && remaining.contains(std::string(lastPathComponent(path)));
    };
    auto rootFiles = HFTreeLister::listTree(repoRemotePath, "", rootFallback, fetch, sleeper);
    files.insert(files.end(), std::make_move_iterator(rootFiles.begin()), std::make_move_iterator(rootFiles.end()));
    return files;
}

} // namespace quorl
