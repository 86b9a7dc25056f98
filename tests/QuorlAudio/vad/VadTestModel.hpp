#pragma once

#include "platform/ml/Model.hpp"
#include "tests/support/LoopbackHub.hpp"
#include "tests/support/ScriptedKernel.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <memory>
#include <set>
#include <string>

namespace quorl {

// A scripted voice-activity model run through the runtime. Its speech probability is the first sample of the
// block it is given ("audio_input" element 64, after the context), so a test writes the probabilities it wants
// into the audio. The next hidden state is the incoming one plus 1 and the next cell state the incoming one plus
// 2, so a test sees the states travel from block to block.
class VadTestModel {
public:
    VadTestModel();

    static nlohmann::json manifest();
    // The model loaded from a bundle written once into a folder of the object's own.
    std::shared_ptr<platform::ml::Model> model();
    // The repository's one bundle as the hub serves it.
    static void serve(testsupport::LoopbackHub& hub);

    // Output names of the answer, in place of "vad_output", "new_hidden_state" and "new_cell_state".
    std::string probabilityOutput = "vad_output";
    std::string hiddenOutput = "new_hidden_state";
    std::string cellOutput = "new_cell_state";
    // Values in the next-state outputs; a real model gives 128.
    std::size_t stateWidth = 128;
    // Outputs left out of the answer, by their names above.
    std::set<std::string> omittedOutputs;

    testsupport::ScriptedKernel kernel;

private:
    testsupport::ScriptedKernel::Outputs answer(const testsupport::ScriptedKernel::Call& call) const;

    testsupport::TemporaryFolder folder_;
    std::shared_ptr<platform::ml::Model> model_;
};

} // namespace quorl
