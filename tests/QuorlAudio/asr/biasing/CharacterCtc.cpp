#include "CharacterCtc.hpp"

#include "platform/ml/Model.hpp"
#include "tests/support/ModelBundleWriter.hpp"
#include "tests/support/MultiArrayValues.hpp"

#include <nlohmann/json.hpp>

#include <cctype>
#include <fstream>
#include <string>

namespace quorl::testing::characterCtc {

void writeTokenizer(const std::filesystem::path& folder) {
    nlohmann::json vocab = {{"<unk>", 0}, {"\u2581", 1}};
    for (char letter = 'a'; letter <= 'z'; ++letter) {
        vocab[std::string(1, letter)] = 2 + (letter - 'a');
    }
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "tokenizer.json")
        << nlohmann::json{{"model", {{"type", "BPE"}, {"vocab", vocab}, {"merges", nlohmann::json::array()}}}}.dump();
}

std::vector<std::int64_t> tokens(std::string_view text) {
    std::vector<std::int64_t> ids;
    bool wordStart = true;
    for (const char c : text) {
        if (c == ' ') {
            wordStart = true;
            continue;
        }
        if (wordStart) {
            ids.push_back(1);
            wordStart = false;
        }
        const auto lower = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        ids.push_back(lower >= 'a' && lower <= 'z' ? 2 + (lower - 'a') : 0);
    }
    return ids;
}

namespace {

// Ids in frame order, the blank put between two equal ones.
std::vector<std::int64_t> spoken(std::string_view text) {
    std::vector<std::int64_t> frames;
    for (const auto id : tokens(text)) {
        if (!frames.empty() && frames.back() == id) {
            frames.push_back(blankId);
        }
        frames.push_back(id);
    }
    return frames;
}

} // namespace

std::vector<std::int64_t> saidIds(std::string_view text, std::size_t leadingBlanks, std::size_t totalFrames) {
    std::vector<std::int64_t> said(leadingBlanks, blankId);
    for (const auto id : spoken(text)) {
        said.push_back(id);
    }
    said.resize(std::max(totalFrames, said.size()), blankId);
    return said;
}

CtcKeywordSpotter::Rows rowsSaying(std::string_view text, std::size_t leadingBlanks, std::size_t totalFrames) {
    CtcKeywordSpotter::Rows rows;
    for (const auto id : saidIds(text, leadingBlanks, totalFrames)) {
        std::vector<float> row(rowWidth, unspoken);
        row[static_cast<std::size_t>(id)] = 0.0f;
        rows.push_back(std::move(row));
    }
    return rows;
}

std::size_t frameOf(std::string_view text, std::size_t leadingBlanks, std::size_t k) {
    const auto ids = tokens(text);
    std::size_t frame = leadingBlanks;
    for (std::size_t i = 0; i < k && i < ids.size(); ++i) {
        frame += (i + 1 < ids.size() && ids[i + 1] == ids[i]) ? 2 : 1;
    }
    return frame;
}

namespace {

namespace ml = platform::ml;

const std::vector<std::size_t> melShape{1, 80, 1500};

testsupport::ScriptedKernel::Outputs melOutputs() {
    return {{"melspectrogram_features", testsupport::makeArray(melShape, std::vector<double>(80 * 1500, 0.0))}};
}

// Raw logits: 40 for the id said at the frame, 0 for every other entry.
testsupport::ScriptedKernel::Outputs encoderOutputs(const Utterance& utterance) {
    const auto said = saidIds(utterance.text, utterance.leadingBlanks, ScriptedCtcModels::windowFrames);
    std::vector<double> values(ScriptedCtcModels::windowFrames * rowWidth, 0.0);
    for (std::size_t frame = 0; frame < ScriptedCtcModels::windowFrames; ++frame) {
        values[frame * rowWidth + static_cast<std::size_t>(said[frame])] = 40.0;
    }
    return {{"ctc_head_raw_output", testsupport::makeArray({1, ScriptedCtcModels::windowFrames, rowWidth}, values)}};
}

} // namespace

ScriptedCtcModels::ScriptedCtcModels(const std::filesystem::path& folder, const std::string& kernelPrefix,
                                     Script script)
    : mel_(kernelPrefix + "-mel", [](const testsupport::ScriptedKernel::Call&) { return melOutputs(); }),
      encoder_(kernelPrefix + "-encoder", [script = std::move(script)](const testsupport::ScriptedKernel::Call& call) {
          return encoderOutputs(script(call.index));
      }) {
    const auto mel = testsupport::writeModelBundle(
        folder, "MelSpectrogram.mlmodelc",
        testsupport::modelManifest(mel_.name(),
                                   {testsupport::multiArrayFeature("audio", {1, 240000}),
                                    testsupport::multiArrayFeature("audio_length", {1}, ml::DataType::int32)},
                                   {testsupport::multiArrayFeature("melspectrogram_features", melShape)}));
    const auto encoder = testsupport::writeModelBundle(
        folder, "AudioEncoder.mlmodelc",
        testsupport::modelManifest(encoder_.name(),
                                   {testsupport::multiArrayFeature("melspectrogram_features", melShape),
                                    testsupport::multiArrayFeature("mel_length", {1}, ml::DataType::int32)},
                                   {}));
    models_.melSpectrogram = ml::Model::load(mel);
    models_.encoder = ml::Model::load(encoder);
    for (std::int64_t id = 0; id < blankId; ++id) {
        models_.vocabulary[id] = id == 0   ? "<unk>"
                                 : id == 1 ? "\u2581"
                                           : std::string(1, static_cast<char>('a' + id - 2));
    }
}

} // namespace quorl::testing::characterCtc
