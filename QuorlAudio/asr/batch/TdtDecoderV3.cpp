#include "QuorlAudio/asr/batch/TdtDecoderV3.hpp"

#include "QuorlAudio/asr/batch/ASRError.hpp"
#include "QuorlAudio/asr/batch/TdtDurationMapping.hpp"
#include "QuorlAudio/asr/batch/TdtEncoderFrameView.hpp"
#include "QuorlAudio/asr/batch/TdtEnglishBlocklist.hpp"
#include "QuorlAudio/asr/batch/TdtStepBuffers.hpp"
#include "QuorlAudio/asr/batch/TdtTokenLanguageFilter.hpp"
#include "QuorlAudio/foundation/ASRConstants.hpp"
#include "QuorlAudio/foundation/MultiArrayReset.hpp"

#include "platform/core/Task.hpp"
#include "platform/ml/DictionaryFeatureProvider.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <utility>

namespace quorl {

namespace {

using platform::ml::FeatureValue;
using platform::ml::MultiArray;
using Vocabulary = std::unordered_map<int, std::string>;

TdtHypothesis emptyHypothesis(const TdtDecoderState& state) {
    TdtHypothesis hypothesis;
    hypothesis.decState = state;
    return hypothesis;
}

// The override; else the context frames already decoded, moved by the previous window's time jump. A window
// that followed another with neither a time jump nor context skips the standard overlap instead.
int startFrame(const TdtDecoderState& state, int contextFrameAdjustment, std::optional<int> initialTimeIndexOverride) {
    if (initialTimeIndexOverride) {
        return *initialTimeIndexOverride;
    }
    if (!state.timeJump) {
        return contextFrameAdjustment;
    }
    if (*state.timeJump == 0 && contextFrameAdjustment == 0) {
        return ASRConstants::standardOverlapFrames;
    }
    return std::max(0, *state.timeJump + contextFrameAdjustment);
}

bool isPunctuation(int token) {
    const auto& punctuation = ASRConstants::punctuationTokens;
    return std::find(punctuation.begin(), punctuation.end(), token) != punctuation.end();
}

// The message is built only on failure: this runs after every emission.
std::shared_ptr<MultiArray> extractFeatureValue(const platform::ml::FeatureProvider& provider, const std::string& key,
                                                std::string_view errorMessage) {
    const auto value = provider.featureValue(key);
    auto array = value ? value->multiArrayValue() : nullptr;
    if (array == nullptr) {
        throw ASRError::processingFailed(std::string(errorMessage));
    }
    return array;
}

// Room for what a window usually records, so emissions do not grow the lists one by one; bounded so that a
// configuration without a practical cap reserves nothing absurd.
std::size_t expectedTokenCount(const TdtConfig& tdt) {
    constexpr int bound = 1024;
    return static_cast<std::size_t>(std::clamp(tdt.maxTokensPerChunk, 0, bound) +
                                    std::clamp(tdt.maxSymbolsPerStep, 0, bound));
}

// The decoding of one window: the working values of the label loop and the arrays it reuses at every step.
class WindowDecoder {
public:
    WindowDecoder(const ASRConfig& config, const TdtModelInference& inference, const EncoderFrameView& frames,
                  int length, const TdtDecoderV3::WindowRequest& request)
        : tdt_(config.tdtConfig), inference_(inference), frames_(frames), request_(request), context_(request.context),
          buffers_(config.encoderHiddenSize), cancellation_(platform::core::Task::current()), length_(length),
          last_(length - 1), currentLabel_(request.context.decoderState.lastToken.value_or(config.tdtConfig.blankId)),
          projection_(request.context.decoderState.predictorOutput), needsTopK_(request.context.language.has_value()),
          blocklistApplies_(request.context.language && script(*request.context.language) == Script::latin &&
                            *request.context.language != Language::english && request.vocabulary != nullptr) {
        hypothesis_.decState = request.context.decoderState;
        hypothesis_.ySequence.reserve(expectedTokenCount(tdt_));
        hypothesis_.timestamps.reserve(expectedTokenCount(tdt_));
        hypothesis_.tokenDurations.reserve(expectedTokenCount(tdt_));
        hypothesis_.tokenConfidences.reserve(expectedTokenCount(tdt_));
    }

    TdtHypothesis run(int startFrame) {
        time_ = startFrame;
        primeIfFresh();
        mainLoop();
        if (context_.isLastChunk) {
            if (tdt_.maxSymbolsPerStep >= 1) {
                finalPass();
            }
            projection_.reset();
            context_.decoderState.predictorOutput.reset();
        }
        carryStateOut();
        return std::move(hypothesis_);
    }

private:
    enum class Redirection { apply, skip };

    struct Choice {
        int label;
        float confidence;
        // Frames, mapped from the joint model's duration class.
        int duration;
    };

    TdtDecoderState& decState() { return *hypothesis_.decState; }

    bool isBlank(const Choice& choice) const { return choice.label == tdt_.blankId; }

    // A blank always moves time forward.
    int advanceOf(const Choice& choice) const {
        return isBlank(choice) ? std::max(choice.duration, 1) : choice.duration;
    }

    // A fresh state starts from zeroed recurrent arrays and the decoder's output for the blank.
    void primeIfFresh() {
        if (context_.decoderState.lastToken || context_.decoderState.predictorOutput) {
            return;
        }
        reset(*decState().hiddenState, 0);
        reset(*decState().cellState, 0);
        feedDecoder(tdt_.blankId);
    }

    void mainLoop() {
        while (time_ < length_) {
            cancellation_.checkCancellation();
            prepareDecoderStep();
            Choice choice = decide(time_, Redirection::apply);
            applyZeroDurationRule(choice);
            int next = time_ + advanceOf(choice);
            while (next < length_ && isBlank(choice)) {
                cancellation_.checkCancellation();
                time_ = next;
                choice = decide(time_, Redirection::apply);
                next = time_ + advanceOf(choice);
            }
            if (next >= length_ || isBlank(choice) || ++tokensEmitted_ > tdt_.maxTokensPerChunk) {
                time_ = next;
                return;
            }
            emit(choice, time_, advanceOf(choice));
            time_ = limitSymbolsPerFrame(next);
        }
    }

    // A second token at the frame of the previous emission moves on by one frame, so a run of zero-duration
    // tokens cannot pile up on one frame.
    void applyZeroDurationRule(Choice& choice) const {
        if (!isBlank(choice) && choice.duration == 0 && time_ == lastEmissionFrame_ && symbolsAtFrame_ > 0) {
            choice.duration = 1;
        }
    }

    // Counts the emissions at the current frame and returns the next frame: `next`, or one frame further
    // (at most the last frame) once the frame has its maxSymbolsPerStep tokens.
    int limitSymbolsPerFrame(int next) {
        if (time_ == lastEmissionFrame_) {
            if (++symbolsAtFrame_ < tdt_.maxSymbolsPerStep) {
                return next;
            }
        } else if (tdt_.maxSymbolsPerStep > 1) {
            symbolsAtFrame_ = 1;
            lastEmissionFrame_ = time_;
            return next;
        }
        symbolsAtFrame_ = 0;
        lastEmissionFrame_ = -1;
        return std::min(last_, next + 1);
    }

    // Looks again at the end of a last window: its last frames in turn, until enough blanks in a row.
    void finalPass() {
        const int lastUsable = frames_.count - 1;
        int frame = time_;
        int blanks = 0;
        for (int iteration = 0; iteration < tdt_.maxSymbolsPerStep && blanks < tdt_.consecutiveBlankLimit;
             ++iteration) {
            cancellation_.checkCancellation();
            prepareDecoderStep();
            const std::array<int, 3> frames{std::min(lastUsable, frame), std::min(lastUsable, last_),
                                            std::min(lastUsable, std::max(length_ - 2, 0))};
            const Choice choice = decide(frames[static_cast<std::size_t>(iteration % 3)], Redirection::skip);
            if (isBlank(choice)) {
                ++blanks;
            } else {
                emit(choice, std::min(last_, frame), choice.duration);
                blanks = 0;
            }
            frame = std::min(length_, frame + std::max(choice.duration, 1));
        }
    }

    void carryStateOut() {
        TdtDecoderState& state = context_.decoderState;
        state.hiddenState = decState().hiddenState;
        state.cellState = decState().cellState;
        if (hypothesis_.lastToken) {
            state.lastToken = hypothesis_.lastToken;
        }
        // After punctuation the next window runs the decoder on it afresh.
        if (state.lastToken && isPunctuation(*state.lastToken)) {
            state.predictorOutput.reset();
        }
        state.timeJump = context_.isLastChunk ? std::nullopt : std::optional<int>(time_ - length_);
    }

    // Fills "decoder_step" with the held projection, or with the decoder's output for the current label when
    // none is held (used for this step only).
    void prepareDecoderStep() {
        const auto projection = projection_ ? projection_ : runDecoderStep(currentLabel_);
        TdtModelInference::normalizeDecoderProjection(*projection, buffers_.decoderStep);
    }

    Choice decide(int frame, Redirection redirection) {
        const TdtJointDecision decision =
            inference_.runJointPrepared(frames_, frame, request_.jointModel, buffers_, needsTopK_);
        Choice choice{.label = decision.token, .confidence = confidenceOf(decision.probability), .duration = 0};
        if (redirection == Redirection::apply) {
            redirect(choice, decision);
        }
        choice.duration = TdtDurationMapping::mapDurationBin(decision.durationIndex, tdt_.durationBins);
        return choice;
    }

    void redirect(Choice& choice, const TdtJointDecision& decision) const {
        tokenLanguageFilter(choice.label, choice.confidence, decision.topKIds, decision.topKLogits, context_.language,
                            request_.vocabulary, tdt_.blankId);
        if (blocklistApplies_ && decision.topKIds && decision.topKLogits) {
            applyEnglishBlocklist(choice.label, choice.confidence, *decision.topKIds, *decision.topKLogits,
                                  *request_.vocabulary, tdt_.blankId);
        }
    }

    // Records the token unless it lies before the emit threshold, and feeds it to the decoder either way.
    void emit(const Choice& choice, int localFrame, int duration) {
        const int globalFrame = context_.globalFrameOffset + localFrame;
        if (!context_.emitTokensAfterGlobalFrame || globalFrame >= *context_.emitTokensAfterGlobalFrame) {
            hypothesis_.ySequence.push_back(choice.label);
            hypothesis_.score += choice.confidence;
            hypothesis_.timestamps.push_back(globalFrame);
            hypothesis_.tokenConfidences.push_back(choice.confidence);
            hypothesis_.tokenDurations.push_back(duration);
        }
        hypothesis_.lastToken = choice.label;
        currentLabel_ = choice.label;
        feedDecoder(choice.label);
    }

    // Runs the decoder on the label and keeps its projection, in the state too, for the next joint steps.
    void feedDecoder(int label) {
        projection_ = runDecoderStep(label);
        context_.decoderState.predictorOutput = projection_;
    }

    // One decoder prediction; it writes the new recurrent state over the arrays it reads.
    std::shared_ptr<MultiArray> runDecoderStep(int label) {
        TdtDecoderState& state = decState();
        buffers_.targets->at<std::int32_t>(0) = label;
        const platform::ml::DictionaryFeatureProvider input({
            {"targets", FeatureValue(buffers_.targets)},
            {"target_length", FeatureValue(buffers_.targetLength)},
            {"h_in", FeatureValue(state.hiddenState)},
            {"c_in", FeatureValue(state.cellState)},
        });
        buffers_.decoderBackings.at("h_out") = state.hiddenState;
        buffers_.decoderBackings.at("c_out") = state.cellState;
        const auto output = inference_.predict(request_.decoderModel, input, buffers_.decoderBackings);
        state.update(*output);
        return extractFeatureValue(*output, "decoder", "Invalid decoder output");
    }

    const TdtConfig& tdt_;
    const TdtModelInference& inference_;
    const EncoderFrameView& frames_;
    const TdtDecoderV3::WindowRequest& request_;
    const TdtWindowContext& context_;
    TdtStepBuffers buffers_;
    platform::core::CancellationToken cancellation_;
    TdtHypothesis hypothesis_;
    // L, the frames decoded, and L - 1.
    const int length_;
    const int last_;
    // t: the frame at which the current label's successor is looked for.
    int time_ = 0;
    int currentLabel_;
    // The decoder's output for the current label, when held.
    std::shared_ptr<MultiArray> projection_;
    int symbolsAtFrame_ = 0;
    int lastEmissionFrame_ = -1;
    int tokensEmitted_ = 0;
    const bool needsTopK_;
    const bool blocklistApplies_;
};

} // namespace

TdtDecoderV3::TdtDecoderV3(ASRConfig config, TdtModelInference modelInference)
    : logger("TDT"), config(std::move(config)), modelInference(std::move(modelInference)) {}

TdtHypothesis TdtDecoderV3::decodeWithTimings(const WindowRequest& request) const {
    const TdtWindowContext& context = request.context;
    if (request.encoderSequenceLength < 2) {
        return emptyHypothesis(context.decoderState);
    }
    const EncoderFrameView frames(request.encoderOutput, request.encoderSequenceLength, config.encoderHiddenSize);
    const int length = std::min(request.actualAudioFrames, request.encoderSequenceLength);
    const int start =
        startFrame(context.decoderState, context.contextFrameAdjustment, context.initialTimeIndexOverride);
    if (start >= length) {
        return emptyHypothesis(context.decoderState);
    }
    WindowDecoder window(config, modelInference, frames, length, request);
    return window.run(start);
}

} // namespace quorl
