#pragma once

#include "QuorlAudio/asr/streaming/UnifiedConfig.hpp"
#include "QuorlAudio/models/ModelNamesRecognition.hpp"
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

// A unified model folder in a temporary folder: the 70/13/13 streaming encoder and the offline encoder (both
// at int8 unless written again at another precision), the decoder, the joint decision, the vocabulary and
// "metadata.json".
//
// The encoder answers one frame per 8 mel frames: "encoder" [1, 2, frames] and "encoder_length" the valid mel
// frames / 8 rounded up. It marks its frames: element (0, 0, t) of encoder call k is k x 1000 + t, element
// (0, 1, t) is 1. The joint decision answers, one step at a time, the tokens scripted for a frame mark and
// then blank, with "token_prob" = token / 10. The decoder answers (last token, h_in[0]) in "decoder"
// [1, 2, 1], h_in plus one in "h_out" and c_in in "c_out".
class UnifiedTestModels {
public:
    static constexpr std::size_t encoderWidth = 2;

    // Pieces: 1 "▁he", 2 "llo", 3 "▁world", 4 "!", 5 "▁again".
    UnifiedTestModels();

    const std::filesystem::path& folder() const { return folder_.path(); }

    // The streaming encoder of another geometry or precision, with the same kernel.
    void writeStreamingEncoder(const UnifiedConfig& config, UnifiedEncoderPrecision precision) const;
    void writeOfflineEncoder(UnifiedEncoderPrecision precision) const;

    // Frame `frame` of encoder call `call` answers these tokens, then blank. Calls count every encoder
    // prediction from 0.
    void script(int call, int frame, std::vector<int> tokens);
    // The models leave these outputs out of their answers from now on.
    void omitOutputs(std::set<std::string> names);

    testsupport::ScriptedKernel& encoder() { return encoder_; }
    testsupport::ScriptedKernel& decoder() { return decoder_; }
    testsupport::ScriptedKernel& joint() { return joint_; }

private:
    testsupport::ScriptedKernel::Outputs encode(const testsupport::ScriptedKernel::Call& call);
    testsupport::ScriptedKernel::Outputs predict(const testsupport::ScriptedKernel::Call& call);
    testsupport::ScriptedKernel::Outputs answer(const testsupport::ScriptedKernel::Call& call);
    testsupport::ScriptedKernel::Outputs withoutOmitted(testsupport::ScriptedKernel::Outputs outputs);
    void writeEncoder(const std::string& name, std::size_t melFrames) const;

    testsupport::TemporaryFolder folder_;
    testsupport::ScriptedKernel encoder_;
    testsupport::ScriptedKernel decoder_;
    testsupport::ScriptedKernel joint_;

    std::mutex mutex_;
    // Frame mark (encoder call x 1000 + frame) to the tokens still to answer there.
    std::map<int, std::vector<int>> answers_;
    std::set<std::string> omitted_;
};

} // namespace quorl
