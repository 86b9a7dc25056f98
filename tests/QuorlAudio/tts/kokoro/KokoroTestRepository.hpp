#pragma once

#include "QuorlAudio/tts/frontend/KokoroAneVariant.hpp"
#include "QuorlAudio/tts/kokoro/KokoroAneStage.hpp"
#include "tests/support/LoopbackHub.hpp"
#include "tests/support/ScriptedKernel.hpp"

#include <cstddef>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace quorl {

// A Kokoro repository on the loopback hub: the seven stage bundles over scripted kernels, the vocabulary, voice
// packs and the Mandarin assets. The kernels are honest stand-ins of the stages: their outputs follow from their
// inputs (frames from "pred_dur", samples from "x_pre"), some come strided or of another element type than the
// next stage takes, and each stage records what it received.
//   albert     "bert_dur" float32 [1, T, 2]
//   postAlbert "duration" float32 [1, T] from `durations`; "d" a strided float32 [1, T, 2] view (value = 10 × token
//              position + column); "t_en" float16 [1, 2, T]
//   alignment  "en" float64 [1, 2, F] (value = frame index), "asr" float32 [1, 2, F], F the frames of "pred_dur"
//   prosody    "F0" float32 [1, 2F], "N" float16 [1, 2F]
//   noise      "x_source_0" and "x_source_1" float32 [1, 1, 2F]
//   vocoder    "x_pre" float16 [1, 1, samplesPerFrame × F], each 0.5
//   tail       "audio" float32 [1, n]: the values of "x_pre" (none when `tailAnswersAudio` is false)
class KokoroTestRepository {
public:
    static constexpr const char* hubRepository = "ZirazEvavirivi/kokoro-82m-coreml";
    static constexpr std::size_t samplesPerFrame = 4;

    KokoroTestRepository();

    // Serves the variant's bundles, "vocab.json" (`vocabulary`) and the default voice pack.
    void serve(testsupport::LoopbackHub& hub, KokoroAneVariant variant) const;
    // A voice pack whose value i is i + offset.
    void serveVoicePack(testsupport::LoopbackHub& hub, KokoroAneVariant variant, const std::string& name,
                        float offset = 0) const;
    // The pinyin dictionaries (你 ni3, 好 hao3), the Jieba tables as given and the polyphone files.
    void serveMandarinAssets(testsupport::LoopbackHub& hub,
                             const std::string& jiebaStart = std::string(16, '\0')) const;

    // The folder of the variant's repository under a models root.
    static std::filesystem::path repositoryFolder(const std::filesystem::path& modelsRoot, KokoroAneVariant variant);
    static std::string voicePackBytes(float offset, std::size_t values);

    testsupport::ScriptedKernel& kernel(KokoroAneStage stage);
    std::vector<testsupport::ScriptedKernel::Call> calls(KokoroAneStage stage);
    // The number of predictions each stage ran, in chain order.
    std::vector<std::size_t> callCounts();

    std::function<std::vector<float>(std::size_t tokenCount)> durations;
    bool tailAnswersAudio = true;
    // Stages whose bundles the hub does not have.
    std::set<KokoroAneStage> unserved;
    std::map<std::string, int> vocabulary;

private:
    testsupport::ScriptedKernel::Outputs answer(KokoroAneStage stage,
                                                const testsupport::ScriptedKernel::Call& call) const;

    std::map<KokoroAneStage, std::unique_ptr<testsupport::ScriptedKernel>> kernels_;
};

// Every element in row-major order.
std::vector<double> inputValues(const testsupport::ScriptedKernel::Call& call, const std::string& name);

} // namespace quorl
