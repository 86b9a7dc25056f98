#include "QuorlAudio/models/repo/Repo.hpp"

#include <array>
#include <cstddef>

namespace quorl {
namespace {

constexpr std::string_view owner = "ZirazEvavirivi/";

// One row per case, in declaration order. An empty remotePath means the raw value itself (cases that use
// the repository root); an empty subPath means none; an empty folder means the name without "-coreml".
struct RepoEntry {
    Repo repo;
    std::string_view rawValue;
    std::string_view remotePath;
    std::string_view subPath;
    std::string_view fixedFolderName;
};

constexpr std::string_view eouRepository = "ZirazEvavirivi/parakeet-realtime-eou-120m-coreml";
constexpr std::string_view nemotronRepository = "ZirazEvavirivi/nemotron-speech-streaming-en-0.6b-coreml";
constexpr std::string_view kokoroRepository = "ZirazEvavirivi/kokoro-82m-coreml";
constexpr std::string_view lseendRepository = "ZirazEvavirivi/ls-eend-coreml";

constexpr std::array<RepoEntry, 32> entries{{
    {Repo::vad, "ZirazEvavirivi/silero-vad-coreml", "", "", ""},
    {Repo::parakeetV3, "ZirazEvavirivi/parakeet-tdt-0.6b-v3-coreml", "", "", ""},
    {Repo::parakeetV2, "ZirazEvavirivi/parakeet-tdt-0.6b-v2-coreml", "", "", ""},
    {Repo::parakeetCtc110m, "ZirazEvavirivi/parakeet-ctc-110m-coreml", "", "", "parakeet-ctc-110m-coreml"},
    {Repo::parakeetCtc06b, "ZirazEvavirivi/parakeet-ctc-0.6b-coreml", "", "", "parakeet-ctc-0.6b-coreml"},
    {Repo::senseVoiceSmall, "ZirazEvavirivi/sensevoice-small-coreml", "", "", ""},
    {Repo::paraformerLargeZh, "ZirazEvavirivi/paraformer-large-zh-coreml", "", "", ""},
    {Repo::parakeetJa, "ZirazEvavirivi/parakeet-0.6b-ja-coreml", "", "", "parakeet-ja"},
    {Repo::parakeetEou160, "ZirazEvavirivi/parakeet-realtime-eou-120m-coreml/160ms", eouRepository, "160ms",
     "parakeet-eou-streaming/160ms"},
    {Repo::parakeetEou320, "ZirazEvavirivi/parakeet-realtime-eou-120m-coreml/320ms", eouRepository, "320ms",
     "parakeet-eou-streaming/320ms"},
    {Repo::parakeetEou1280, "ZirazEvavirivi/parakeet-realtime-eou-120m-coreml/1280ms", eouRepository, "1280ms",
     "parakeet-eou-streaming/1280ms"},
    {Repo::nemotronStreaming2240, "ZirazEvavirivi/nemotron-speech-streaming-en-0.6b-coreml/2240ms", nemotronRepository,
     "nemotron_coreml_2240ms", "nemotron-streaming/2240ms"},
    {Repo::nemotronStreaming1120, "ZirazEvavirivi/nemotron-speech-streaming-en-0.6b-coreml/1120ms", nemotronRepository,
     "nemotron_coreml_1120ms", "nemotron-streaming/1120ms"},
    {Repo::nemotronStreaming560, "ZirazEvavirivi/nemotron-speech-streaming-en-0.6b-coreml/560ms", nemotronRepository,
     "nemotron_coreml_560ms", "nemotron-streaming/560ms"},
    {Repo::parakeetUnified, "ZirazEvavirivi/parakeet-unified-en-0.6b-coreml", "", "", ""},
    // The rule would keep the upper-case "-CoreML", so the folder is stated.
    {Repo::nemotronMultilingual, "ZirazEvavirivi/Nemotron-3.5-ASR-Streaming-Multilingual-0.6b-CoreML", "", "",
     "nemotron-multilingual"},
    {Repo::diarizer, "ZirazEvavirivi/speaker-diarization-coreml", "", "", ""},
    {Repo::kokoro, "ZirazEvavirivi/kokoro-82m-coreml", "", "", "kokoro"},
    {Repo::kokoroAne, "ZirazEvavirivi/kokoro-82m-coreml/ANE", kokoroRepository, "ANE", "kokoro-82m-coreml/ANE"},
    {Repo::kokoroAneZh, "ZirazEvavirivi/kokoro-82m-coreml/ANE-zh", kokoroRepository, "ANE-zh",
     "kokoro-82m-coreml/ANE-zh"},
    {Repo::kokoroAneJa, "ZirazEvavirivi/kokoro-82m-coreml/ANE-ja", kokoroRepository, "ANE-ja",
     "kokoro-82m-coreml/ANE-ja"},
    {Repo::sortformer, "ZirazEvavirivi/diar-streaming-sortformer-coreml", "", "", "sortformer"},
    {Repo::lseendAmi, "ZirazEvavirivi/ls-eend-coreml/optimized/ami", lseendRepository, "optimized/ami", "ls-eend/ami"},
    {Repo::lseendCallHome, "ZirazEvavirivi/ls-eend-coreml/optimized/ch", lseendRepository, "optimized/ch",
     "ls-eend/ch"},
    {Repo::lseendDihard2, "ZirazEvavirivi/ls-eend-coreml/optimized/dih2", lseendRepository, "optimized/dih2",
     "ls-eend/dih2"},
    {Repo::lseendDihard3, "ZirazEvavirivi/ls-eend-coreml/optimized/dih3", lseendRepository, "optimized/dih3",
     "ls-eend/dih3"},
    {Repo::pocketTts, "ZirazEvavirivi/pocket-tts-coreml", "", "", ""},
    {Repo::multilingualG2p, "ZirazEvavirivi/charsiu-g2p-byt5-coreml", "", "", ""},
    {Repo::parakeetTdtCtc110m, "ZirazEvavirivi/parakeet-tdt-ctc-110m-coreml", "", "", "parakeet-tdt-ctc-110m"},
    {Repo::cohereTranscribeCoreml, "ZirazEvavirivi/cohere-transcribe-03-2026-coreml/q8",
     "ZirazEvavirivi/cohere-transcribe-03-2026-coreml", "q8", "cohere-transcribe/q8"},
    {Repo::styletts2, "ZirazEvavirivi/StyleTTS-2-coreml/iteration_3/compiled", "ZirazEvavirivi/StyleTTS-2-coreml",
     "iteration_3/compiled", "styletts2"},
    {Repo::supertonic3, "ZirazEvavirivi/supertonic-3-coreml", "", "", "supertonic-3"},
}};

constexpr bool entriesFollowDeclarationOrder() {
    for (std::size_t index = 0; index < entries.size(); ++index) {
        if (static_cast<std::size_t>(entries[index].repo) != index) {
            return false;
        }
    }
    return true;
}
static_assert(entriesFollowDeclarationOrder());

constexpr std::array<Repo, entries.size()> cases = [] {
    std::array<Repo, entries.size()> result{};
    for (std::size_t index = 0; index < entries.size(); ++index) {
        result[index] = entries[index].repo;
    }
    return result;
}();

const RepoEntry& entry(Repo repo) { return entries.at(static_cast<std::size_t>(repo)); }

std::string removingEveryOccurrence(std::string text, std::string_view pattern) {
    for (auto position = text.find(pattern); position != std::string::npos; position = text.find(pattern, position)) {
        text.erase(position, pattern.size());
    }
    return text;
}

} // namespace

std::string rawValue(Repo repo) { return std::string(entry(repo).rawValue); }

std::string name(Repo repo) { return std::string(entry(repo).rawValue.substr(owner.size())); }

std::string remotePath(Repo repo) {
    const auto& row = entry(repo);
    return std::string(row.remotePath.empty() ? row.rawValue : row.remotePath);
}

std::optional<std::string> subPath(Repo repo) {
    const auto& row = entry(repo);
    if (row.subPath.empty()) {
        return std::nullopt;
    }
    return std::string(row.subPath);
}

std::string folderName(Repo repo) {
    const auto& row = entry(repo);
    if (!row.fixedFolderName.empty()) {
        return std::string(row.fixedFolderName);
    }
    return removingEveryOccurrence(name(repo), "-coreml");
}

} // namespace quorl

namespace platform::core {

template <> std::optional<quorl::Repo> fromRawValue<quorl::Repo>(std::string_view rawValue) {
    for (const auto& row : quorl::entries) {
        if (row.rawValue == rawValue) {
            return row.repo;
        }
    }
    return std::nullopt;
}

template <> std::span<const quorl::Repo> allCases<quorl::Repo>() { return quorl::cases; }

} // namespace platform::core
