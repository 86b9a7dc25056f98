#pragma once

#include "QuorlAudio/asr/batch/ASRConfig.hpp"
#include "QuorlAudio/asr/batch/TdtDecoderState.hpp"
#include "QuorlAudio/asr/batch/TdtHypothesis.hpp"
#include "QuorlAudio/asr/batch/TdtModelInference.hpp"
#include "QuorlAudio/asr/batch/TdtWindowContext.hpp"
#include "QuorlAudio/foundation/AppLogger.hpp"

#include "platform/ml/Model.hpp"
#include "platform/ml/MultiArray.hpp"

#include <memory>
#include <string>
#include <unordered_map>

namespace quorl {

// The greedy token-and-duration transducer decoder of the Parakeet models, in the label-looping form: from
// the current frame the joint model names the best token and how many frames it spans; blanks only move time
// forward, and a token is emitted, fed to the decoder, and moves time by its duration. One is made per window.
class TdtDecoderV3 {
public:
    // One window's encoder output, the models that decode it and where it sits in its stream. `vocabulary`
    // (null when absent) serves the filters of the language hint.
    struct WindowRequest {
        std::shared_ptr<const platform::ml::MultiArray> encoderOutput;
        int encoderSequenceLength;
        int actualAudioFrames;
        const platform::ml::Model& decoderModel;
        const platform::ml::Model& jointModel;
        const std::unordered_map<int, std::string>* vocabulary = nullptr;
        TdtWindowContext context;
    };

    explicit TdtDecoderV3(ASRConfig config, TdtModelInference modelInference = TdtModelInference());

    // Decodes one window's encoder output into tokens stamped with global encoder frames, with their
    // durations and confidences, continuing from `decoderState` and leaving in it what the next window of the
    // stream needs.
    //
    // Decoding covers the first min(actualAudioFrames, encoderSequenceLength) frames, starting after the
    // `context.contextFrameAdjustment` frames already decoded (moved by the previous window's time jump) or at
    // `initialTimeIndexOverride`. `language` turns on the script filter and, for Latin-script languages other
    // than English, the English blocklist, both reading `vocabulary` (null when absent). Tokens before global
    // frame `emitTokensAfterGlobalFrame` are decoded but not recorded. A last chunk gets a final pass over its
    // end and leaves no projection or time jump behind.
    //
    // Throws ASRError::processingFailed for malformed model inputs or outputs, the runtime's errors unchanged,
    // and CancellationError when the current task is cancelled (tested before every joint step). On failure
    // the state keeps the recurrent arrays and projection decoding had written; its token and time jump stay.
    TdtHypothesis decodeWithTimings(const WindowRequest& request) const;

    // Category "TDT"; decoding writes no log lines of its own.
    AppLogger logger;
    ASRConfig config;
    TdtModelInference modelInference;
};

} // namespace quorl
