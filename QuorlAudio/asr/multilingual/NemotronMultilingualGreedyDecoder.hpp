#pragma once

#include "QuorlAudio/asr/multilingual/NemotronMultilingualModels.hpp"
#include "QuorlAudio/asr/multilingual/NemotronMultilingualStreamingConfig.hpp"
#include "QuorlAudio/asr/multilingual/NemotronMultilingualTokenizer.hpp"
#include "QuorlAudio/asr/multilingual/NemotronMultilingualTranscript.hpp"
#include "platform/ml/FeatureProvider.hpp"
#include "platform/ml/FeatureValue.hpp"
#include "platform/ml/MultiArray.hpp"

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace quorl {

// The prediction network's side of a stream: the token it has not consumed yet and its recurrent state.
struct NemotronMultilingualDecoderState {
    std::int32_t token = 0;
    std::shared_ptr<platform::ml::MultiArray> h;
    std::shared_ptr<platform::ml::MultiArray> c;
};

// Inputs made once per load and refilled at every step; a missing one, or one whose width does not match
// the frame, is replaced by a fresh array for that step.
struct NemotronMultilingualStepBuffers {
    std::shared_ptr<platform::ml::MultiArray> encoderStep;
    std::shared_ptr<platform::ml::MultiArray> encoderProjStep;
    std::shared_ptr<platform::ml::MultiArray> tokenInput;
    std::shared_ptr<platform::ml::MultiArray> tokenLength;
};

// Greedy transducer decoding of encoder frames, one frame at a time and at most 10 symbols a frame, through
// the most fused model the stream has: the decoder-joint fed projected frames ("B3+B1"), the one that returns
// the arg-max ("triple-fusion"), the merged one ("B1"), else the bare decoder and joint. Emitted ids, their
// timings and the first language tag go into the transcript at once; the decoder state is the caller's
// working copy.
class NemotronMultilingualGreedyDecoder {
public:
    struct Context {
        const NemotronMultilingualModels& models;
        const NemotronMultilingualStreamingConfig& config;
        const NemotronMultilingualTokenizer& tokenizer;
        const NemotronMultilingualStepBuffers& buffers;
    };

    NemotronMultilingualGreedyDecoder(Context context, NemotronMultilingualTranscript& transcript)
        : context_(context), transcript_(transcript) {}

    // Decodes every frame of the encoder output [1, D, T] (and of the projected output [1, T, P] when given);
    // returns the ids emitted. Throws ASRError::processingFailed with the failing path's message, and the
    // runtime's errors unchanged.
    std::vector<std::int64_t> decodeChunk(const platform::ml::MultiArray& encoded,
                                          const platform::ml::MultiArray* encoderProj,
                                          NemotronMultilingualDecoderState& state) const;
    void decodeFrame(std::size_t frame, const platform::ml::MultiArray& encoded,
                     const platform::ml::MultiArray* encoderProj, NemotronMultilingualDecoderState& state,
                     std::vector<std::int64_t>& emitted) const;
    // The rest of a frame whose first token a speculative window has emitted: at most 9 more symbols, the
    // token buffers always reused, the bare models with default options, and the drain's failure texts.
    void drainFrame(std::size_t frame, const platform::ml::MultiArray& encoded,
                    const platform::ml::MultiArray& encoderProj, NemotronMultilingualDecoderState& state,
                    std::vector<std::int64_t>& emitted) const;
    // Emits a token at a frame of the chunk: ids, timing and language into the transcript, and the state
    // that chose it into the working state. Throws ASRError::processingFailed with `failure` for an id the
    // vocabulary cannot hold.
    void emitToken(std::int64_t token, const NemotronMultilingualDecoderState& chosenBy, std::size_t frame,
                   NemotronMultilingualDecoderState& state, std::vector<std::int64_t>& emitted,
                   const char* failure) const;

    // Frame t of an encoder output [1, D, T] as D values, and of a projected output [1, T, P] as P values;
    // `into` must hold that many.
    static void fillEncoderStep(platform::ml::MultiArray& into, const platform::ml::MultiArray& from, std::size_t t);
    static std::shared_ptr<platform::ml::MultiArray> extractEncoderStep(const platform::ml::MultiArray& from,
                                                                        std::size_t t);
    static void fillEncoderProjStep(platform::ml::MultiArray& into, const platform::ml::MultiArray& from,
                                    std::size_t t);
    static std::shared_ptr<platform::ml::MultiArray> extractEncoderProjStep(const platform::ml::MultiArray& from,
                                                                            std::size_t t);
    // The first time position of a prediction-network output [1, D, N] as a new [1, D, 1].
    static std::shared_ptr<platform::ml::MultiArray> sliceDecoderOutput(const platform::ml::MultiArray& output);
    // The index of the greatest score over every element, read through the array's type and strides; the
    // lowest index wins ties and NaN never wins.
    static std::size_t findMaxIndex(const platform::ml::MultiArray& scores);

private:
    struct FrameInputs;
    struct Flavour;
    struct Step {
        std::int64_t token;
        std::shared_ptr<platform::ml::MultiArray> h;
        std::shared_ptr<platform::ml::MultiArray> c;
    };

    FrameInputs frameInputs(std::size_t frame, const platform::ml::MultiArray& encoded,
                            const platform::ml::MultiArray* encoderProj) const;
    std::map<std::string, platform::ml::FeatureValue> tokenFeatures(const NemotronMultilingualDecoderState& state,
                                                                    bool reuseTokenBuffers) const;
    void decodeSymbols(std::size_t frame, const FrameInputs& inputs, NemotronMultilingualDecoderState& state,
                       std::vector<std::int64_t>& emitted, const Flavour& flavour) const;
    Step runSymbolStep(const FrameInputs& inputs, const NemotronMultilingualDecoderState& state,
                       const Flavour& flavour) const;
    Step scoresStep(const platform::ml::FeatureProvider& outputs, const char* failure) const;
    Step runBare(std::map<std::string, platform::ml::FeatureValue> features, const Flavour& flavour) const;
    void emit(const Step& step, std::size_t frame, NemotronMultilingualDecoderState& state,
              std::vector<std::int64_t>& emitted) const;
    void appendTokenTiming(std::int64_t token, std::size_t frameInChunk) const;
    std::int64_t checkedToken(std::int64_t token, const char* failure) const;

    Context context_;
    NemotronMultilingualTranscript& transcript_;
};

} // namespace quorl
