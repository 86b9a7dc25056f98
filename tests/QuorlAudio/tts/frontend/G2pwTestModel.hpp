#pragma once

#include "QuorlAudio/tts/frontend/MandarinG2pwModel.hpp"
#include "tests/support/ScriptedKernel.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace quorl {

// A g2pW bundle over a scripted kernel, with a vocabulary of the special tokens and the catalogue's
// characters. By default the kernel scores every label 0; `scores` chooses the scores from the target
// position and the input ids, and `answersLogits` false leaves the output out.
class G2pwTestModel {
public:
    using Scores =
        std::function<std::vector<float>(std::int32_t targetPosition, const std::vector<std::int32_t>& inputIds)>;

    explicit G2pwTestModel(const std::string& catalogText);

    // The polyphone model over this bundle with the given input length.
    std::shared_ptr<MandarinG2pwModel> model(int maxLength = 16) const;

    Scores scores;
    bool answersLogits = true;

    testsupport::TemporaryFolder folder;
    testsupport::ScriptedKernel kernel;

private:
    testsupport::ScriptedKernel::Outputs answer(const testsupport::ScriptedKernel::Call& call) const;

    MandarinPolyphoneCatalog catalog_;
};

} // namespace quorl
