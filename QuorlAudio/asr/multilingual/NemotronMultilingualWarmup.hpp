#pragma once

#include "QuorlAudio/asr/multilingual/NemotronMultilingualModels.hpp"
#include "QuorlAudio/asr/multilingual/NemotronMultilingualStreamState.hpp"
#include "QuorlAudio/asr/multilingual/NemotronMultilingualStreamingConfig.hpp"
#include "QuorlAudio/foundation/AppLogger.hpp"

#include <cstdint>

namespace quorl {

// One prediction of each model of the decoding chain on neutral inputs (zeros, the blank, the stream's own
// caches and recurrent state), so the first chunk meets models that have already run. The encoder first,
// then one decoder step (the argmax fusion, else the merged fusion, else the bare decoder and joint), then
// the batched joint. Outputs and failures are dropped: the stream is left exactly as it was.
struct NemotronMultilingualWarmup {
    const NemotronMultilingualModels& models;
    const NemotronMultilingualStreamState& state;
    const NemotronMultilingualStreamingConfig& config;
    std::int32_t promptId;

    // Logs "Model warm-up complete" unless nothing could run or its token inputs could not be made.
    void run(const AppLogger& logger) const;

private:
    struct TokenInputs;

    void runEncoder() const;
    void runDecoderStep(const TokenInputs& inputs) const;
    void runBareDecoderAndJoint(const TokenInputs& inputs) const;
    void runBatchedJoint() const;
};

} // namespace quorl
