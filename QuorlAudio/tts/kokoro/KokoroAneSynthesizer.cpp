#include "QuorlAudio/tts/kokoro/KokoroAneSynthesizer.hpp"

#include "QuorlAudio/tts/frontend/KokoroAneError.hpp"
#include "QuorlAudio/tts/kokoro/KokoroAneArrays.hpp"
#include "QuorlAudio/tts/kokoro/KokoroAneFrameCounts.hpp"
#include "platform/core/CancellationToken.hpp"
#include "platform/core/SecondsSince.hpp"
#include "platform/core/Task.hpp"
#include "platform/ml/DictionaryFeatureProvider.hpp"
#include "platform/ml/MultiArrayOutput.hpp"

#include <chrono>
#include <cstddef>
#include <exception>
#include <map>
#include <memory>
#include <string>

namespace quorl::KokoroAneSynthesizer {
namespace {

using platform::ml::FeatureProvider;
using platform::ml::MultiArray;
using ArrayPointer = std::shared_ptr<MultiArray>;
using Outputs = std::shared_ptr<const FeatureProvider>;
using Inputs = std::map<std::string, platform::ml::FeatureValue>;

constexpr std::size_t styleLength = 128;

void checkStyleLength(const std::vector<float>& style, const char* name) {
    if (style.size() != styleLength) {
        throw KokoroAneError::invalidVoicePack(std::string(name) + " must be length 128, got " +
                                               std::to_string(style.size()));
    }
}

void checkCancellation() { platform::core::Task::checkCancellation(); }

ArrayPointer outputArray(const FeatureProvider& outputs, const std::string& key, KokoroAneStage stage) {
    auto array = platform::ml::multiArrayOutput(outputs, key);
    if (!array) {
        throw KokoroAneError::unexpectedOutputShape(std::string(rawValue(stage)), "MLMultiArray for '" + key + "'",
                                                    "nil");
    }
    return array;
}

ArrayPointer rebuild16(const FeatureProvider& outputs, const std::string& key, KokoroAneStage stage) {
    const auto array = outputArray(outputs, key, stage);
    return KokoroAneArrays::float16Array(array->shape(), *array);
}

ArrayPointer rebuild32(const FeatureProvider& outputs, const std::string& key, KokoroAneStage stage) {
    const auto array = outputArray(outputs, key, stage);
    return KokoroAneArrays::float32Array(array->shape(), *array);
}

// The inputs built once per call and shared by the stages that take them.
struct FixedInputs {
    ArrayPointer inputIds;
    ArrayPointer attentionMask;
    ArrayPointer styleS16;
    ArrayPointer styleTimbre32;
    ArrayPointer styleTimbre16;
    ArrayPointer speed16;

    explicit FixedInputs(const Request& request) {
        const KokoroAneArrays::Shape tokens{1, request.inputIds.size()};
        const KokoroAneArrays::Shape style{1, styleLength};
        const std::vector<std::int32_t> ones(request.inputIds.size(), 1);
        const float speed[] = {request.speed};
        inputIds = KokoroAneArrays::int32Array(tokens, request.inputIds);
        attentionMask = KokoroAneArrays::int32Array(tokens, ones);
        styleS16 = KokoroAneArrays::float16Array(style, request.styleS);
        styleTimbre32 = KokoroAneArrays::float32Array(style, request.styleTimbre);
        styleTimbre16 = KokoroAneArrays::float16Array(style, request.styleTimbre);
        speed16 = KokoroAneArrays::float16Array({1}, speed);
    }
};

// One run of the chain: each stage's step reads what the stages before it left here.
class ChainRun {
public:
    ChainRun(const Request& request, const KokoroAneModelStore& store) : fixed_(request), store_(store) {}

    KokoroAneSynthesisResult run(int tokenCount) {
        albert();
        postAlbert();
        alignment();
        prosody();
        noise();
        vocoder();
        return {.samples = tail(), .encoderTokens = tokenCount, .acousticFrames = frames_, .timings = timings_};
    }

private:
    Outputs predict(KokoroAneStage stage, Inputs inputs) {
        const auto model = store_.model(stage);
        const platform::ml::DictionaryFeatureProvider provider(std::move(inputs));
        const auto start = std::chrono::steady_clock::now();
        try {
            auto outputs = model->predict(provider, platform::ml::PredictionOptions{});
            timings_.forStage(stage) = platform::core::secondsSince(start) * 1000.0;
            return outputs;
        } catch (const platform::core::CancellationError&) {
            throw;
        } catch (const std::exception&) {
            throw KokoroAneError::predictionFailed(std::string(rawValue(stage)), std::current_exception());
        }
    }

    void albert() {
        const auto outputs =
            predict(KokoroAneStage::albert, {{"input_ids", fixed_.inputIds}, {"attention_mask", fixed_.attentionMask}});
        bertDur_ = rebuild16(*outputs, "bert_dur", KokoroAneStage::albert);
        checkCancellation();
    }

    void postAlbert() {
        constexpr auto stage = KokoroAneStage::postAlbert;
        const auto outputs = predict(stage, {{"bert_dur", bertDur_},
                                             {"input_ids", fixed_.inputIds},
                                             {"style_s", fixed_.styleS16},
                                             {"speed", fixed_.speed16},
                                             {"attention_mask", fixed_.attentionMask}});
        const auto durations = KokoroAneArrays::readFloats(*outputArray(*outputs, "duration", stage));
        const auto frames = KokoroAneFrameCounts::fromDurations(durations);
        frames_ = frames.total;
        predDur_ = KokoroAneArrays::int32Array({1, frames.counts.size()}, frames.counts);
        d_ = rebuild16(*outputs, "d", stage);
        tEn_ = rebuild16(*outputs, "t_en", stage);
        checkCancellation();
    }

    void alignment() {
        constexpr auto stage = KokoroAneStage::alignment;
        const auto outputs = predict(stage, {{"pred_dur", predDur_}, {"d", d_}, {"t_en", tEn_}});
        en_ = rebuild16(*outputs, "en", stage);
        asr_ = rebuild16(*outputs, "asr", stage);
        checkCancellation();
    }

    void prosody() {
        constexpr auto stage = KokoroAneStage::prosody;
        const auto outputs = predict(stage, {{"en", en_}, {"style_s", fixed_.styleS16}});
        f0_ = outputArray(*outputs, "F0", stage);
        n_ = outputArray(*outputs, "N", stage);
        checkCancellation();
    }

    void noise() {
        constexpr auto stage = KokoroAneStage::noise;
        const auto f0Curve = KokoroAneArrays::float32Array(f0_->shape(), *f0_);
        const auto outputs = predict(stage, {{"F0_curve", f0Curve}, {"style_timbre", fixed_.styleTimbre32}});
        checkCancellation();
        f0Curve16_ = KokoroAneArrays::float16Array(f0_->shape(), *f0_);
        nPred16_ = KokoroAneArrays::float16Array(n_->shape(), *n_);
        xSource0_ = rebuild16(*outputs, "x_source_0", stage);
        xSource1_ = rebuild16(*outputs, "x_source_1", stage);
    }

    void vocoder() {
        constexpr auto stage = KokoroAneStage::vocoder;
        const auto outputs = predict(stage, {{"asr", asr_},
                                             {"F0_curve", f0Curve16_},
                                             {"N_pred", nPred16_},
                                             {"x_source_0", xSource0_},
                                             {"x_source_1", xSource1_},
                                             {"style_timbre", fixed_.styleTimbre16}});
        checkCancellation();
        xPre_ = rebuild32(*outputs, "x_pre", stage);
    }

    std::vector<float> tail() {
        constexpr auto stage = KokoroAneStage::tail;
        const auto outputs = predict(stage, {{"x_pre", xPre_}});
        return KokoroAneArrays::readFloats(*outputArray(*outputs, "audio", stage));
    }

    const FixedInputs fixed_;
    const KokoroAneModelStore& store_;
    KokoroAneStageTimings timings_;
    int frames_ = 0;
    ArrayPointer bertDur_, predDur_, d_, tEn_, en_, asr_, f0_, n_, f0Curve16_, nPred16_, xSource0_, xSource1_, xPre_;
};

} // namespace

KokoroAneSynthesisResult synthesize(const Request& request, const KokoroAneModelStore& store) {
    checkStyleLength(request.styleS, "style_s");
    checkStyleLength(request.styleTimbre, "style_timbre");
    checkCancellation();
    return ChainRun(request, store).run(static_cast<int>(request.inputIds.size()));
}

} // namespace quorl::KokoroAneSynthesizer
