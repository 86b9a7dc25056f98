#pragma once

#include "QuorlAudio/asr/streaming/StreamingChunkSize.hpp"
#include "tests/support/ScriptedKernel.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <cstddef>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace quorl {

// A model folder of the end-of-utterance engine for one chunk geometry, written into a temporary folder:
// scripted encoder, prediction, joint and (on request) fused models, and a vocabulary.
//
// The encoder marks its frames: element (0, 0, t) of encoder call k's "encoded_output" is k x 100 + t, and it
// returns one frame more than the engine decodes. It answers every cache plus one, so each call's caches
// tell how many calls came before. The joint (or fused) model answers the tokens scripted for a chunk's frame
// one step at a time, then blank. The prediction network passes the last token on and adds one to "h_out".
class EouTestModels {
public:
    static constexpr std::size_t encoderHidden = 4;

    // Pieces: 1 "▁he", 2 "llo", 3 "▁world", 4 "!", 5 "▁again".
    explicit EouTestModels(StreamingChunkSize chunkSize);

    const std::filesystem::path& folder() const { return folder_.path(); }

    // Frame `frame` of chunk `chunk` answers these tokens, one per step, then blank.
    void script(int chunk, int frame, std::vector<int> tokens);
    // Every frame of the chunks from `firstChunk` on, up to `lastChunk`, answers the end-of-utterance token.
    void scriptEndOfUtterance(int firstChunk, int lastChunk);
    void writeFusedModel();

    testsupport::ScriptedKernel& encoder() { return encoder_; }
    testsupport::ScriptedKernel& decoder() { return decoder_; }
    testsupport::ScriptedKernel& joint() { return joint_; }
    testsupport::ScriptedKernel& fused() { return fused_; }

private:
    testsupport::ScriptedKernel::Outputs encode(const testsupport::ScriptedKernel::Call& call);
    testsupport::ScriptedKernel::Outputs predict(const testsupport::ScriptedKernel::Call& call);
    testsupport::ScriptedKernel::Outputs answer(const testsupport::ScriptedKernel::Call& call);
    testsupport::ScriptedKernel::Outputs answerFused(const testsupport::ScriptedKernel::Call& call);
    int nextToken(int frameMark);

    StreamingChunkSize chunkSize_;
    testsupport::TemporaryFolder folder_;
    testsupport::ScriptedKernel encoder_;
    testsupport::ScriptedKernel decoder_;
    testsupport::ScriptedKernel joint_;
    testsupport::ScriptedKernel fused_;

    std::mutex mutex_;
    // Frame mark (chunk x 100 + frame) to the tokens still to answer there.
    std::map<int, std::vector<int>> answers_;
};

} // namespace quorl
