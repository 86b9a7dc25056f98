#pragma once

#include "QuorlAudio/asr/multilingual/NemotronMultilingualGreedyDecoder.hpp"
#include "QuorlAudio/asr/multilingual/NemotronMultilingualStatistics.hpp"
#include "platform/ml/MultiArray.hpp"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace quorl {

// Decodes a chunk in windows of K encoder frames: the bare decoder runs once per window on the current token,
// and the batched joint scores every frame of the window against that one output. A window whose frames are
// all blank is passed over whole; otherwise the first non-blank frame gets its token, the rest of that frame
// is drained one symbol at a time as the per-frame route would, and the next window starts after it. The
// result is the per-frame route's, with one decoder and one joint prediction per blank run of up to K frames.
class NemotronMultilingualSpeculativeDecoder {
public:
    struct Context {
        NemotronMultilingualGreedyDecoder::Context greedy;
        // Float32 [1, K, 640], kept between chunks and replaced when K changes.
        std::shared_ptr<platform::ml::MultiArray>& batchBuffer;
        NemotronMultilingualStatistics& statistics;
    };

    NemotronMultilingualSpeculativeDecoder(Context context, NemotronMultilingualTranscript& transcript)
        : context_(context), greedy_(context.greedy, transcript) {}

    // Decodes the frames of the encoder output [1, D, T] with its projected output [1, T, 640] (Float16 or
    // Float32, any strides); returns the ids emitted. Throws ASRError::processingFailed for a projection that
    // is not 640 wide or covers fewer than T frames, for a missing output, for "logits" that do not cover
    // the window, and with the drain's messages; the runtime's errors pass unchanged.
    std::vector<std::int64_t> decodeChunk(const platform::ml::MultiArray& encoded,
                                          const platform::ml::MultiArray& encoderProj,
                                          NemotronMultilingualDecoderState& state) const;

    // Rows 0 .. w-1 of the batch take projected frames t .. t+w-1 as Float32, the remaining rows zeros.
    static void fillBatch(platform::ml::MultiArray& batch, const platform::ml::MultiArray& encoderProj, std::size_t t,
                          std::size_t w);
    // The best token of one row of "logits" [1, K, 1, V]; `blank` when no entry rises above the lowest
    // finite float. The lowest index wins ties.
    static std::int64_t bestToken(const platform::ml::MultiArray& logits, std::size_t row, std::int64_t blank);

private:
    struct Window;

    platform::ml::MultiArray& batchBuffer(std::size_t k) const;
    Window scoreWindow(const platform::ml::MultiArray& encoderProj, std::size_t t, std::size_t w,
                       const NemotronMultilingualDecoderState& state) const;

    Context context_;
    NemotronMultilingualGreedyDecoder greedy_;
};

} // namespace quorl
