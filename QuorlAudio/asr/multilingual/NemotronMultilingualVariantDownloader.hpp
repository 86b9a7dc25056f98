#pragma once

#include "QuorlAudio/asr/multilingual/NemotronMultilingualVariantRequest.hpp"
#include "QuorlAudio/foundation/AppLogger.hpp"

#include <filesystem>
#include <string>

namespace quorl {

class ModelHub;

// Puts one multilingual variant into the model cache: the folder for a language and chunk length below
// "nemotron-multilingual", fetched from the hub without any ".mlpackage" unless its "metadata.json" is there
// already. A cached vocabulary that gives "<blank>" to an id other than the blank is fetched again.
class NemotronMultilingualVariantDownloader {
public:
    // The mark a download leaves in the variant folder until it has succeeded: while it stands, the folder
    // counts as not cached, whatever a failed or interrupted download left there.
    static constexpr const char* incompleteMarkName = ".download-incomplete";

    // "latin" for codes beginning with en, es, fr, it, pt or de in any letter case; "multilingual" otherwise.
    static std::string languageDirectory(const std::string& languageCode);

    // The variant folder. Throws the hub's error when a variant that is not cached cannot be downloaded, the
    // file system's error when the defective vocabulary cannot be moved aside or the folder cannot be marked,
    // and platform::core::SystemError when no destination is given and no user data folder is known. A
    // failed repair keeps the old vocabulary and is no failure.
    static std::filesystem::path download(const NemotronMultilingualVariantRequest& request);
    // download with every transfer through `hub`.
    static std::filesystem::path download(const NemotronMultilingualVariantRequest& request, const ModelHub& hub);

    // Whether the vocabulary maps "<blank>" to a decimal id other than the metadata's blank id. Every
    // failure to read or parse either file answers false.
    static bool tokenizerHasCorruptBlankEntry(const std::filesystem::path& tokenizerPath,
                                              const std::filesystem::path& metadataPath);

private:
    struct Variant;

    static void fetch(const Variant& variant);
    static void fetchWhole(const Variant& variant);
    static void repairVocabulary(const Variant& variant);
};

} // namespace quorl
