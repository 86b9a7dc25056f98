#include "tests/QuorlAudio/tts/kokoro/KokoroTestRepository.hpp"

#include "QuorlAudio/models/ModelNames.hpp"
#include "QuorlAudio/tts/frontend/KokoroAneConstants.hpp"
#include "platform/core/LittleEndian.hpp"
#include "platform/ml/DataType.hpp"
#include "platform/ml/MultiArray.hpp"
#include "tests/QuorlAudio/tts/frontend/MandarinDictionaryFiles.hpp"
#include "tests/support/ModelBundleWriter.hpp"
#include "tests/support/MultiArrayValues.hpp"

#include <nlohmann/json.hpp>

#include <numeric>
#include <utility>

namespace quorl {
namespace {

using nlohmann::json;
using platform::ml::DataType;
using platform::ml::MultiArray;
using testsupport::flexibleFeature;
using testsupport::makeArray;
using Call = testsupport::ScriptedKernel::Call;
using Outputs = testsupport::ScriptedKernel::Outputs;

struct Input {
    const char* name;
    std::size_t rank;
    DataType dataType;
};

struct StageManifest {
    std::vector<Input> inputs;
    std::vector<const char*> outputs;
};

StageManifest manifestOf(KokoroAneStage stage) {
    const auto f16 = DataType::float16;
    const auto f32 = DataType::float32;
    const auto i32 = DataType::int32;
    switch (stage) {
    case KokoroAneStage::albert: return {{{"input_ids", 2, i32}, {"attention_mask", 2, i32}}, {"bert_dur"}};
    case KokoroAneStage::postAlbert:
        return {{{"bert_dur", 3, f16},
                 {"input_ids", 2, i32},
                 {"style_s", 2, f16},
                 {"speed", 1, f16},
                 {"attention_mask", 2, i32}},
                {"duration", "d", "t_en"}};
    case KokoroAneStage::alignment: return {{{"pred_dur", 2, i32}, {"d", 3, f16}, {"t_en", 3, f16}}, {"en", "asr"}};
    case KokoroAneStage::prosody: return {{{"en", 3, f16}, {"style_s", 2, f16}}, {"F0", "N"}};
    case KokoroAneStage::noise: return {{{"F0_curve", 2, f32}, {"style_timbre", 2, f32}}, {"x_source_0", "x_source_1"}};
    case KokoroAneStage::vocoder:
        return {{{"asr", 3, f16},
                 {"F0_curve", 2, f16},
                 {"N_pred", 2, f16},
                 {"x_source_0", 3, f16},
                 {"x_source_1", 3, f16},
                 {"style_timbre", 2, f16}},
                {"x_pre"}};
    case KokoroAneStage::tail: return {{{"x_pre", 3, f32}}, {"audio"}};
    }
    return {};
}

std::string kernelName(KokoroAneStage stage) { return "kokoro-test." + std::string(rawValue(stage)); }

json manifestFor(KokoroAneStage stage) {
    const auto described = manifestOf(stage);
    std::vector<json> inputs;
    for (const auto& input : described.inputs) {
        inputs.push_back(flexibleFeature(input.name, std::vector<std::size_t>(input.rank, 0), input.dataType));
    }
    std::vector<json> outputs;
    for (const auto* name : described.outputs) {
        outputs.push_back(testsupport::multiArrayFeature(name, {1}));
    }
    return testsupport::modelManifest(kernelName(stage), inputs, outputs);
}

void serveBundle(testsupport::LoopbackHub& hub, const std::string& path, const json& manifest) {
    hub.putFile(KokoroTestRepository::hubRepository, path + "/coremldata.bin", "compiled");
    hub.putFile(KokoroTestRepository::hubRepository, path + "/model.json", manifest.dump());
}

std::string hubFolder(KokoroAneVariant variant) { return *subPath(repo(variant)); }

std::string voicePath(KokoroAneVariant variant, const std::string& name) {
    return hubFolder(variant) + (useVoicesSubdir(variant) ? "/voices/" : "/") + name + ".bin";
}

std::size_t frameCount(const Call& call) {
    const auto counts = inputValues(call, "pred_dur");
    return static_cast<std::size_t>(std::accumulate(counts.begin(), counts.end(), 0.0));
}

std::vector<double> filled(std::size_t count, double value) { return std::vector<double>(count, value); }

std::vector<double> ramp(std::size_t count) {
    std::vector<double> values(count);
    std::iota(values.begin(), values.end(), 0.0);
    return values;
}

// [1, T, 2] through the strides of a [1, 2, T] buffer, value 10 × position + column.
std::shared_ptr<MultiArray> stridedD(std::size_t tokens) {
    auto buffer = std::make_shared<MultiArray>(MultiArray::Shape{1, 2, tokens}, DataType::float32);
    for (std::size_t column = 0; column < 2; ++column) {
        for (std::size_t position = 0; position < tokens; ++position) {
            buffer->at<float>({0, column, position}) = static_cast<float>(10 * position + column);
        }
    }
    return std::make_shared<MultiArray>(buffer->storage(), buffer->dataPointer(), MultiArray::Shape{1, tokens, 2},
                                        DataType::float32, MultiArray::Shape{2 * tokens, 1, tokens});
}

} // namespace

std::vector<double> inputValues(const Call& call, const std::string& name) {
    return testsupport::valuesOf(*call.inputs.at(name).multiArrayValue());
}

KokoroTestRepository::KokoroTestRepository()
    : durations([](std::size_t tokens) { return std::vector<float>(tokens, 1.0F); }),
      vocabulary{{"a", 1}, {"b", 2}, {"c", 3}, {"h", 4}, {"l", 5}, {"O", 6}, {".", 7}, {" ", 8}, {"ㄋ", 9}} {
    for (const auto stage : platform::core::allCases<KokoroAneStage>()) {
        kernels_[stage] = std::make_unique<testsupport::ScriptedKernel>(
            kernelName(stage), [this, stage](const Call& call) { return answer(stage, call); });
    }
}

void KokoroTestRepository::serve(testsupport::LoopbackHub& hub, KokoroAneVariant variant) const {
    const auto folder = hubFolder(variant);
    for (const auto stage : platform::core::allCases<KokoroAneStage>()) {
        if (unserved.contains(stage)) {
            continue;
        }
        serveBundle(hub, folder + "/" + std::string(bundleName(stage)), manifestFor(stage));
    }
    hub.putFile(hubRepository, folder + "/vocab.json", json(vocabulary).dump());
    serveVoicePack(hub, variant, std::string(defaultVoice(variant)));
    if (variant == KokoroAneVariant::mandarin) {
        serveBundle(hub, folder + "/g2pw/g2pw.mlmodelc", testsupport::modelManifest("kokoro-test.no-g2pw", {}, {}));
    }
}

void KokoroTestRepository::serveVoicePack(testsupport::LoopbackHub& hub, KokoroAneVariant variant,
                                          const std::string& name, float offset) const {
    hub.putFile(hubRepository, voicePath(variant, name), voicePackBytes(offset, 130560));
}

void KokoroTestRepository::serveMandarinAssets(testsupport::LoopbackHub& hub, const std::string& jiebaStart) const {
    const std::string assets = "ANE-zh/assets/";
    hub.putFile(hubRepository, assets + "pinyin_single.bin",
                testsupport::singlesRecord(U'你', {"nǐ"}) + testsupport::singlesRecord(U'好', {"hǎo"}));
    hub.putFile(hubRepository, assets + "pinyin_phrases.bin", testsupport::phrasesRecord("你好", {"nǐ", "hǎo"}));
    hub.putFile(hubRepository, assets + "jieba_hmm_start.bin", jiebaStart);
    hub.putFile(hubRepository, assets + "jieba_hmm_trans.bin", std::string(64, '\0'));
    hub.putFile(hubRepository, assets + "jieba_hmm_emit.bin", std::string());
    hub.putFile(hubRepository, "ANE-zh/g2pw/vocab.txt", "[PAD]\n[UNK]\n[CLS]\n[SEP]\n");
    hub.putFile(hubRepository, "ANE-zh/g2pw/POLYPHONIC_CHARS.txt", "");
}

std::filesystem::path KokoroTestRepository::repositoryFolder(const std::filesystem::path& modelsRoot,
                                                             KokoroAneVariant variant) {
    return modelsRoot / folderName(repo(variant));
}

std::string KokoroTestRepository::voicePackBytes(float offset, std::size_t values) {
    std::string bytes;
    for (std::size_t index = 0; index < values; ++index) {
        platform::core::appendLittleEndian(bytes, static_cast<float>(index) + offset);
    }
    return bytes;
}

testsupport::ScriptedKernel& KokoroTestRepository::kernel(KokoroAneStage stage) { return *kernels_.at(stage); }

std::vector<Call> KokoroTestRepository::calls(KokoroAneStage stage) { return kernel(stage).calls(); }

std::vector<std::size_t> KokoroTestRepository::callCounts() {
    std::vector<std::size_t> counts;
    for (const auto stage : platform::core::allCases<KokoroAneStage>()) {
        counts.push_back(calls(stage).size());
    }
    return counts;
}

Outputs KokoroTestRepository::answer(KokoroAneStage stage, const Call& call) const {
    switch (stage) {
    case KokoroAneStage::albert: {
        const auto tokens = inputValues(call, "input_ids").size();
        return {{"bert_dur", makeArray({1, tokens, 2}, ramp(2 * tokens))}};
    }
    case KokoroAneStage::postAlbert: {
        const auto tokens = inputValues(call, "input_ids").size();
        const auto predicted = durations(tokens);
        return {{"duration", makeArray({1, predicted.size()}, {predicted.begin(), predicted.end()})},
                {"d", stridedD(tokens)},
                {"t_en", makeArray({1, 2, tokens}, filled(2 * tokens, 0.25), DataType::float16)}};
    }
    case KokoroAneStage::alignment: {
        const auto frames = frameCount(call);
        return {{"en", makeArray({1, 2, frames}, ramp(2 * frames), DataType::float64)},
                {"asr", makeArray({1, 2, frames}, filled(2 * frames, 1.0))}};
    }
    case KokoroAneStage::prosody: {
        const auto frames = inputValues(call, "en").size();
        return {{"F0", makeArray({1, frames}, ramp(frames))},
                {"N", makeArray({1, frames}, filled(frames, 2.0), DataType::float16)}};
    }
    case KokoroAneStage::noise: {
        const auto frames = inputValues(call, "F0_curve").size();
        return {{"x_source_0", makeArray({1, 1, frames}, filled(frames, 3.0))},
                {"x_source_1", makeArray({1, 1, frames}, filled(frames, 4.0))}};
    }
    case KokoroAneStage::vocoder: {
        const auto samples = inputValues(call, "asr").size() / 2 * samplesPerFrame;
        return {{"x_pre", makeArray({1, 1, samples}, filled(samples, 0.5), DataType::float16)}};
    }
    case KokoroAneStage::tail: {
        if (!tailAnswersAudio) {
            return {};
        }
        const auto values = inputValues(call, "x_pre");
        return {{"audio", makeArray({1, values.size()}, values)}};
    }
    }
    return {};
}

} // namespace quorl
