#include "tests/Mirvo/DictationModels.hpp"

#include "tests/Mirvo/kernels/DictationKernels.hpp"
#include "tests/Mirvo/kernels/ParaformerKernels.hpp"

#include "tests/QuorlAudio/asr/other/ParaformerTestModels.hpp"

#include "QuorlAudio/asr/batch/AsrModelVersion.hpp"
#include "QuorlAudio/models/ModelNamesRecognition.hpp"
#include "QuorlAudio/models/repo/Repo.hpp"
#include "platform/core/Concatenated.hpp"
#include "platform/ml/DataType.hpp"
#include "tests/support/HubEnvironment.hpp"
#include "tests/support/ModelBundleWriter.hpp"
#include "tests/support/SoundFileWriter.hpp"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace mirvotest {

namespace {

using dictation::encoderFrames;
using dictation::encoderWidth;
using dictation::projectionWidth;
using platform::ml::DataType;
using testsupport::multiArrayFeature;

constexpr int sampleRate = 16000;
constexpr std::size_t windowSamples = 240000;
constexpr std::size_t decoderLayers = 2;
constexpr quorl::AsrModelVersion version = quorl::AsrModelVersion::v3;

constexpr std::array<std::string_view, dictation::maxWordCode> spellings{"one", "two",   "three", "four", "five",
                                                                         "six", "seven", "eight", "nine"};

// Word code k in Simplified Chinese, and in Taiwan's forms as OpenCC's s2twp conversion writes it.
constexpr std::array<std::string_view, 6> mandarinWords{"\u9f20\u6807", "\u8f6f\u4ef6",       "\u7f51\u7edc",
                                                        "\u4fe1\u606f", "\u6253\u5370\u673a", "\u5185\u5b58"};
constexpr std::array<std::string_view, 6> taiwanWords{"\u6ed1\u9f20", "\u8edf\u9ad4",       "\u7db2\u8def",
                                                      "\u8cc7\u8a0a", "\u5370\u8868\u6a5f", "\u8a18\u61b6\u9ad4"};

std::string_view spellingOf(int code) { return spellings.at(static_cast<std::size_t>(code - 1)); }

std::size_t sampleAt(double seconds) { return static_cast<std::size_t>(std::lround(seconds * sampleRate)); }

// A model.json whose kernel comes from the dictation kernel library.
nlohmann::json manifest(const char* kernel, const std::vector<nlohmann::json>& inputs,
                        const std::vector<nlohmann::json>& outputs) {
    auto document = testsupport::modelManifest(kernel, inputs, outputs);
    document["library"] = DICTATION_KERNEL_LIBRARY;
    return document;
}

nlohmann::json preprocessorManifest() {
    return manifest(
        dictation::preprocessorKernel,
        {multiArrayFeature("audio_signal", {1, windowSamples}),
         multiArrayFeature("audio_length", {1}, DataType::int32)},
        {multiArrayFeature("mel", {1, 2, encoderFrames}), multiArrayFeature("mel_length", {1}, DataType::int32)});
}

nlohmann::json encoderManifest() {
    return manifest(
        dictation::encoderKernel,
        {multiArrayFeature("mel", {1, 2, encoderFrames}), multiArrayFeature("mel_length", {1}, DataType::int32)},
        {multiArrayFeature("encoder", {1, encoderWidth, encoderFrames}),
         multiArrayFeature("encoder_length", {1}, DataType::int32)});
}

nlohmann::json decoderManifest() {
    const std::vector<std::size_t> recurrent{decoderLayers, 1, projectionWidth};
    return manifest(dictation::decoderKernel,
                    {multiArrayFeature("targets", {1, 1}, DataType::int32),
                     multiArrayFeature("target_length", {1}, DataType::int32), multiArrayFeature("h_in", recurrent),
                     multiArrayFeature("c_in", recurrent)},
                    {multiArrayFeature("decoder", {1, 1, projectionWidth}), multiArrayFeature("h_out", recurrent),
                     multiArrayFeature("c_out", recurrent)});
}

nlohmann::json jointManifest() {
    return manifest(dictation::jointKernel,
                    {multiArrayFeature("encoder_step", {1, encoderWidth, 1}),
                     multiArrayFeature("decoder_step", {1, projectionWidth, 1})},
                    {multiArrayFeature("token_id", {1, 1, 1}, DataType::int32),
                     multiArrayFeature("token_prob", {1, 1, 1}),
                     multiArrayFeature("duration", {1, 1, 1}, DataType::int32)});
}

// Token id k is word code k, spelled as a word of its own.
std::string vocabulary() {
    nlohmann::json pieces = nlohmann::json::object();
    for (int code = 1; code <= dictation::maxWordCode; ++code) {
        pieces[std::to_string(code)] = platform::core::concatenated({"\u2581", spellingOf(code)});
    }
    return pieces.dump();
}

void putBundle(testsupport::LoopbackHub& hub, const std::string& repository, const std::string& bundle,
               const nlohmann::json& document) {
    hub.putFile(repository, platform::core::concatenated({bundle, "/coremldata.bin"}), "compiled");
    hub.putFile(repository, platform::core::concatenated({bundle, "/model.json"}), document.dump(2));
}

} // namespace

std::vector<float> DictationRecording::samples() const {
    std::vector<float> audio(sampleAt(lengthSeconds), 0.0f);
    for (const DictationWord& word : words) {
        const auto level = static_cast<float>(word.code * dictation::levelStep);
        const std::size_t end = std::min(audio.size(), sampleAt(word.startSeconds + word.lengthSeconds));
        for (std::size_t sample = sampleAt(word.startSeconds); sample < end; ++sample) {
            audio[sample] = level;
        }
    }
    return audio;
}

void DictationRecording::writeWav(const std::filesystem::path& path) const {
    testsupport::writeSoundFile(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, sampleRate, 1, samples());
}

std::string DictationRecording::text() const {
    std::string joined;
    for (const DictationWord& word : words) {
        joined += platform::core::concatenated({joined.empty() ? "" : " ", spellingOf(word.code)});
    }
    return joined;
}

DictationRecording wordsWithinTheFirstWindow() {
    return {.lengthSeconds = 14.0,
            .words = {{.code = 1, .startSeconds = 0.0, .lengthSeconds = 0.75},
                      {.code = 2, .startSeconds = 1.25, .lengthSeconds = 0.75},
                      {.code = 3, .startSeconds = 2.5, .lengthSeconds = 0.75},
                      {.code = 4, .startSeconds = 3.75, .lengthSeconds = 0.75}}};
}

void serveDictationModels(testsupport::LoopbackHub& hub) {
    const std::string repository = quorl::remotePath(quorl::repo(version));
    putBundle(hub, repository, quorl::preprocessorFileName(version), preprocessorManifest());
    putBundle(hub, repository, *quorl::encoderFileName(version, quorl::ParakeetEncoderPrecision::int8),
              encoderManifest());
    putBundle(hub, repository, quorl::decoderFileName(version), decoderManifest());
    putBundle(hub, repository, quorl::jointFileName(version), jointManifest());
    hub.putFile(repository, quorl::vocabularyFileName(version), vocabulary());
}

std::string mandarinWord(int code) { return std::string(mandarinWords.at(static_cast<std::size_t>(code - 1))); }

std::string taiwanWord(int code) { return std::string(taiwanWords.at(static_cast<std::size_t>(code - 1))); }

void serveMandarinDictationModels(testsupport::LoopbackHub& hub) {
    const std::map<std::string, const char*> kernels{{"paraformer-test-preprocessor", paraformer::preprocessorKernel},
                                                     {"paraformer-test-encoder", paraformer::encoderKernel},
                                                     {"paraformer-test-cif-alphas", paraformer::cifAlphasKernel},
                                                     {"paraformer-test-decoder", paraformer::decoderKernel}};
    const std::string repository = quorl::remotePath(quorl::Repo::paraformerLargeZh);
    // The scripted models' documents, with the library's kernels in place of the scripted ones.
    for (auto [name, document] : quorl::ParaformerTestModels::manifests()) {
        document["kernel"] = kernels.at(document["kernel"].get<std::string>());
        document["library"] = DICTATION_KERNEL_LIBRARY;
        putBundle(hub, repository, name + ".mlmodelc", document);
    }
    nlohmann::json pieces = nlohmann::json::object();
    for (int code = 1; code <= static_cast<int>(mandarinWords.size()); ++code) {
        pieces[std::to_string(paraformer::firstWordToken - 1 + code)] = mandarinWord(code);
    }
    hub.putFile(repository, std::string(quorl::ModelNames::ParaformerZh::vocabularyFile), pieces.dump());
}

void useDictationHub(testsupport::ScopedEnvironment& environment, const testsupport::LoopbackHub& hub,
                     const std::filesystem::path& applicationSupport) {
    testsupport::useLoopbackHub(environment, hub);
    environment.set("XDG_DATA_HOME", applicationSupport.string());
}

} // namespace mirvotest
