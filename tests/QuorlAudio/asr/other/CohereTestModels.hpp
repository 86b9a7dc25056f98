#pragma once

#include "QuorlAudio/asr/other/CohereLoadedModels.hpp"
#include "QuorlAudio/foundation/TokenVocabulary.hpp"

#include "platform/ml/DataType.hpp"
#include "tests/support/ScriptedKernel.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace quorl {

// What the scripted Cohere decoder saw at one step. Only small summaries are kept: a run feeds up to 108
// steps of sixteen cache arrays, too much to copy whole.
struct CohereDecoderStep {
    int inputId;
    int positionId;
    // The window the encoder marked its hidden states with (see CohereTestModels).
    int window;
    std::vector<std::size_t> attentionMaskShape;
    std::vector<double> attentionMask;
    std::vector<double> crossAttentionMask;
    platform::ml::DataType maskType;
    platform::ml::DataType cacheType;
    // k_cache_0[0, 0, p, 0] and v_cache_7[0, 0, p, 0] for every cache position p: the decoder writes p + 1 and
    // -(p + 1) at the position it is fed, so these show which earlier outputs came back as inputs.
    std::vector<double> keyMarks;
    std::vector<double> valueMarks;
};

// Scripted Cohere models written as compiled bundles and run through the runtime.
//
// The encoder (a ScriptedKernel) answers hidden states [1, encoderLength, 4] whose element [0, 0, 0] is the
// number of its call (from 0, over the object's life), so the decoder knows which window it decodes. The
// decoder scores `vocabularyWidth` ids with `scores` (by default 1.0 for the id `answer` gives the window at
// that position, 0 elsewhere) and returns each cache with its marks added (see CohereDecoderStep).
class CohereTestModels {
public:
    static constexpr std::size_t vocabularyWidth = 300;

    struct Settings {
        TokenVocabulary vocabulary;
        platform::ml::DataType cacheType = platform::ml::DataType::float16;
        std::size_t encoderLength = 438;
    };

    CohereTestModels();
    explicit CohereTestModels(Settings settings);
    ~CohereTestModels();

    // Both decoder variants and "vocab.json" written into one folder once, then loaded.
    CohereLoadedModels modelSet(CohereDecoderVariant variant = CohereDecoderVariant::v2);
    const std::filesystem::path& folder();

    static nlohmann::json encoderManifest(std::size_t encoderLength);
    static nlohmann::json decoderManifest(CohereDecoderVariant variant, std::size_t encoderLength,
                                          platform::ml::DataType cacheType);

    // The id produced at each position from 9 on, per window (encoder call); the end token past the list. Positions 0 to 8
    // answer `promptAnswer`, which the loop must ignore.
    void answer(std::vector<std::vector<int>> windows);
    int promptAnswer = 3;
    std::function<std::vector<float>(int window, int position)> scores;
    // Outputs ("hidden_states", "logits", "k_cache_3_out", ...) left out of the answers.
    std::set<std::string> omittedOutputs;
    // The logits' element type.
    platform::ml::DataType logitsType = platform::ml::DataType::float32;

    std::vector<CohereDecoderStep> decoderSteps() const;

    testsupport::ScriptedKernel encoder;

private:
    class DecoderKernel;

    std::map<std::string, platform::ml::FeatureValue> decode(const platform::ml::FeatureProvider& input);
    std::shared_ptr<platform::ml::MultiArray> markedCopy(const std::string& name,
                                                         const std::shared_ptr<platform::ml::MultiArray>& cache,
                                                         int position, double mark);

    Settings settings_;
    std::vector<std::vector<int>> answers_;
    mutable std::mutex mutex_;
    std::vector<CohereDecoderStep> steps_;
    std::map<std::string, std::shared_ptr<platform::ml::MultiArray>> spareCaches_;
    testsupport::TemporaryFolder folder_;
    bool written_ = false;
};

} // namespace quorl
