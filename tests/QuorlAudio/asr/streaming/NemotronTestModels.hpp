#pragma once

#include "QuorlAudio/asr/streaming/NemotronStreamingConfig.hpp"
#include "tests/support/ScriptedKernel.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <cstddef>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace quorl {

// A model folder of the English cache-aware engine, written into a temporary folder: scripted int8 encoder,
// decoder, joint and (on request) fused decoder-joint, the preprocessor the engine never loads, a vocabulary
// and, unless the geometry is the built-in one, "metadata.json".
//
// The encoder marks its frames: element (0, 0, t) of encoder call k's "encoded" is k x 100 + t (call 0 is
// the load-time probe, so chunk n is call n + 1), element (0, 1, t) is 1. It answers every cache plus one.
// The joint (or fused) model answers, one step at a time, the tokens scripted for a frame mark, then blank,
// as one-hot logits. The decoder answers the last token in "decoder_out"[0, 0, 0] and adds one to "h_out".
class NemotronTestModels {
public:
    static constexpr std::size_t encoderFrames = 3;
    static constexpr std::size_t encoderWidth = 4;
    static constexpr std::size_t decoderWidth = 4;

    // Sixteen bands, chunks of 20 mel frames (3200 samples) behind 3 cached ones, blank 6, small caches.
    static NemotronStreamingConfig smallGeometry();

    // Pieces: 1 "▁he", 2 "llo", 3 "▁world", 4 "!", 5 "▁again".
    explicit NemotronTestModels(const NemotronStreamingConfig& geometry = smallGeometry());

    const std::filesystem::path& folder() const { return folder_.path(); }
    const NemotronStreamingConfig& geometry() const { return geometry_; }

    // Frame `frame` of encoder call `call` answers these tokens, then blank. Calls count every prediction of
    // the encoder, probes included: after one load, chunk n is call n + 1.
    void script(int call, int frame, std::vector<int> tokens);
    // The models leave these outputs out of their answers from now on.
    void omitOutputs(std::set<std::string> names);
    // The encoder answers zeros on its next call.
    void answerZerosOnce();
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
    std::shared_ptr<platform::ml::MultiArray> logitsFor(const testsupport::ScriptedKernel::Call& call);
    testsupport::ScriptedKernel::Outputs withoutOmitted(testsupport::ScriptedKernel::Outputs outputs);
    void writeBundles();

    NemotronStreamingConfig geometry_;
    testsupport::TemporaryFolder folder_;
    testsupport::ScriptedKernel encoder_;
    testsupport::ScriptedKernel decoder_;
    testsupport::ScriptedKernel joint_;
    testsupport::ScriptedKernel fused_;

    std::mutex mutex_;
    // Frame mark (encoder call x 100 + frame) to the tokens still to answer there.
    std::map<int, std::vector<int>> answers_;
    std::set<std::string> omitted_;
    bool zerosOnce_ = false;
};

} // namespace quorl
