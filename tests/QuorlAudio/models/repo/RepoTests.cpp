#include "QuorlAudio/models/repo/Repo.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace quorl {
namespace {

struct RepoRow {
    Repo repo;
    std::string rawValue;
    std::string name;
    std::string remotePath;
    std::optional<std::string> subPath;
    std::string folderName;
};

const std::string eou = "ZirazEvavirivi/parakeet-realtime-eou-120m-coreml";
const std::string nemotron = "ZirazEvavirivi/nemotron-speech-streaming-en-0.6b-coreml";
const std::string kokoroHub = "ZirazEvavirivi/kokoro-82m-coreml";
const std::string lseend = "ZirazEvavirivi/ls-eend-coreml";

// Every case in declaration order, written out by hand so that no value is derived by the code under test.
const std::vector<RepoRow> rows = {
    {Repo::vad, "ZirazEvavirivi/silero-vad-coreml", "silero-vad-coreml", "ZirazEvavirivi/silero-vad-coreml",
     std::nullopt, "silero-vad"},
    {Repo::parakeetV3, "ZirazEvavirivi/parakeet-tdt-0.6b-v3-coreml", "parakeet-tdt-0.6b-v3-coreml",
     "ZirazEvavirivi/parakeet-tdt-0.6b-v3-coreml", std::nullopt, "parakeet-tdt-0.6b-v3"},
    {Repo::parakeetV2, "ZirazEvavirivi/parakeet-tdt-0.6b-v2-coreml", "parakeet-tdt-0.6b-v2-coreml",
     "ZirazEvavirivi/parakeet-tdt-0.6b-v2-coreml", std::nullopt, "parakeet-tdt-0.6b-v2"},
    {Repo::parakeetCtc110m, "ZirazEvavirivi/parakeet-ctc-110m-coreml", "parakeet-ctc-110m-coreml",
     "ZirazEvavirivi/parakeet-ctc-110m-coreml", std::nullopt, "parakeet-ctc-110m-coreml"},
    {Repo::parakeetCtc06b, "ZirazEvavirivi/parakeet-ctc-0.6b-coreml", "parakeet-ctc-0.6b-coreml",
     "ZirazEvavirivi/parakeet-ctc-0.6b-coreml", std::nullopt, "parakeet-ctc-0.6b-coreml"},
    {Repo::senseVoiceSmall, "ZirazEvavirivi/sensevoice-small-coreml", "sensevoice-small-coreml",
     "ZirazEvavirivi/sensevoice-small-coreml", std::nullopt, "sensevoice-small"},
    {Repo::paraformerLargeZh, "ZirazEvavirivi/paraformer-large-zh-coreml", "paraformer-large-zh-coreml",
     "ZirazEvavirivi/paraformer-large-zh-coreml", std::nullopt, "paraformer-large-zh"},
    {Repo::parakeetJa, "ZirazEvavirivi/parakeet-0.6b-ja-coreml", "parakeet-0.6b-ja-coreml",
     "ZirazEvavirivi/parakeet-0.6b-ja-coreml", std::nullopt, "parakeet-ja"},
    {Repo::parakeetEou160, eou + "/160ms", "parakeet-realtime-eou-120m-coreml/160ms", eou, "160ms",
     "parakeet-eou-streaming/160ms"},
    {Repo::parakeetEou320, eou + "/320ms", "parakeet-realtime-eou-120m-coreml/320ms", eou, "320ms",
     "parakeet-eou-streaming/320ms"},
    {Repo::parakeetEou1280, eou + "/1280ms", "parakeet-realtime-eou-120m-coreml/1280ms", eou, "1280ms",
     "parakeet-eou-streaming/1280ms"},
    {Repo::nemotronStreaming2240, nemotron + "/2240ms", "nemotron-speech-streaming-en-0.6b-coreml/2240ms", nemotron,
     "nemotron_coreml_2240ms", "nemotron-streaming/2240ms"},
    {Repo::nemotronStreaming1120, nemotron + "/1120ms", "nemotron-speech-streaming-en-0.6b-coreml/1120ms", nemotron,
     "nemotron_coreml_1120ms", "nemotron-streaming/1120ms"},
    {Repo::nemotronStreaming560, nemotron + "/560ms", "nemotron-speech-streaming-en-0.6b-coreml/560ms", nemotron,
     "nemotron_coreml_560ms", "nemotron-streaming/560ms"},
    {Repo::parakeetUnified, "ZirazEvavirivi/parakeet-unified-en-0.6b-coreml", "parakeet-unified-en-0.6b-coreml",
     "ZirazEvavirivi/parakeet-unified-en-0.6b-coreml", std::nullopt, "parakeet-unified-en-0.6b"},
    {Repo::nemotronMultilingual, "ZirazEvavirivi/Nemotron-3.5-ASR-Streaming-Multilingual-0.6b-CoreML",
     "Nemotron-3.5-ASR-Streaming-Multilingual-0.6b-CoreML",
     "ZirazEvavirivi/Nemotron-3.5-ASR-Streaming-Multilingual-0.6b-CoreML", std::nullopt, "nemotron-multilingual"},
    {Repo::diarizer, "ZirazEvavirivi/speaker-diarization-coreml", "speaker-diarization-coreml",
     "ZirazEvavirivi/speaker-diarization-coreml", std::nullopt, "speaker-diarization"},
    {Repo::kokoro, kokoroHub, "kokoro-82m-coreml", kokoroHub, std::nullopt, "kokoro"},
    {Repo::kokoroAne, kokoroHub + "/ANE", "kokoro-82m-coreml/ANE", kokoroHub, "ANE", "kokoro-82m-coreml/ANE"},
    {Repo::kokoroAneZh, kokoroHub + "/ANE-zh", "kokoro-82m-coreml/ANE-zh", kokoroHub, "ANE-zh",
     "kokoro-82m-coreml/ANE-zh"},
    {Repo::kokoroAneJa, kokoroHub + "/ANE-ja", "kokoro-82m-coreml/ANE-ja", kokoroHub, "ANE-ja",
     "kokoro-82m-coreml/ANE-ja"},
    {Repo::sortformer, "ZirazEvavirivi/diar-streaming-sortformer-coreml", "diar-streaming-sortformer-coreml",
     "ZirazEvavirivi/diar-streaming-sortformer-coreml", std::nullopt, "sortformer"},
    {Repo::lseendAmi, lseend + "/optimized/ami", "ls-eend-coreml/optimized/ami", lseend, "optimized/ami",
     "ls-eend/ami"},
    {Repo::lseendCallHome, lseend + "/optimized/ch", "ls-eend-coreml/optimized/ch", lseend, "optimized/ch",
     "ls-eend/ch"},
    {Repo::lseendDihard2, lseend + "/optimized/dih2", "ls-eend-coreml/optimized/dih2", lseend, "optimized/dih2",
     "ls-eend/dih2"},
    {Repo::lseendDihard3, lseend + "/optimized/dih3", "ls-eend-coreml/optimized/dih3", lseend, "optimized/dih3",
     "ls-eend/dih3"},
    {Repo::pocketTts, "ZirazEvavirivi/pocket-tts-coreml", "pocket-tts-coreml", "ZirazEvavirivi/pocket-tts-coreml",
     std::nullopt, "pocket-tts"},
    {Repo::multilingualG2p, "ZirazEvavirivi/charsiu-g2p-byt5-coreml", "charsiu-g2p-byt5-coreml",
     "ZirazEvavirivi/charsiu-g2p-byt5-coreml", std::nullopt, "charsiu-g2p-byt5"},
    {Repo::parakeetTdtCtc110m, "ZirazEvavirivi/parakeet-tdt-ctc-110m-coreml", "parakeet-tdt-ctc-110m-coreml",
     "ZirazEvavirivi/parakeet-tdt-ctc-110m-coreml", std::nullopt, "parakeet-tdt-ctc-110m"},
    {Repo::cohereTranscribeCoreml, "ZirazEvavirivi/cohere-transcribe-03-2026-coreml/q8",
     "cohere-transcribe-03-2026-coreml/q8", "ZirazEvavirivi/cohere-transcribe-03-2026-coreml", "q8",
     "cohere-transcribe/q8"},
    {Repo::styletts2, "ZirazEvavirivi/StyleTTS-2-coreml/iteration_3/compiled", "StyleTTS-2-coreml/iteration_3/compiled",
     "ZirazEvavirivi/StyleTTS-2-coreml", "iteration_3/compiled", "styletts2"},
    {Repo::supertonic3, "ZirazEvavirivi/supertonic-3-coreml", "supertonic-3-coreml",
     "ZirazEvavirivi/supertonic-3-coreml", std::nullopt, "supertonic-3"},
};

TEST(RepoTests, EveryCaseHasItsCatalogueEntryInDeclarationOrder) {
    const auto cases = platform::core::allCases<Repo>();
    ASSERT_EQ(cases.size(), rows.size());
    for (std::size_t index = 0; index < rows.size(); ++index) {
        const auto& row = rows[index];
        SCOPED_TRACE(row.rawValue);
        EXPECT_EQ(cases[index], row.repo);
        EXPECT_EQ(rawValue(row.repo), row.rawValue);
        EXPECT_EQ(name(row.repo), row.name);
        EXPECT_EQ(remotePath(row.repo), row.remotePath);
        EXPECT_EQ(subPath(row.repo), row.subPath);
        EXPECT_EQ(folderName(row.repo), row.folderName);
        EXPECT_EQ(platform::core::fromRawValue<Repo>(row.rawValue), row.repo);
    }
}

TEST(RepoTests, FromRawValueMatchesTheWholeIdExactly) {
    const std::string unknown[] = {
        "ZirazEvavirivi/PARAKEET-TDT-0.6B-V3-COREML",
        "zirazevavirivi/parakeet-tdt-0.6b-v3-coreml",
        "parakeet-tdt-0.6b-v3-coreml",
        "ZirazEvavirivi/parakeet-tdt-0.6b-v3-coreml/",
        "ZirazEvavirivi/parakeet-tdt-0.6b-v3-coreml ",
        "ZirazEvavirivi/nemotron-speech-streaming-en-0.6b-coreml",
        "",
    };
    for (const auto& text : unknown) {
        EXPECT_EQ(platform::core::fromRawValue<Repo>(text), std::nullopt) << text;
    }
}

} // namespace
} // namespace quorl
