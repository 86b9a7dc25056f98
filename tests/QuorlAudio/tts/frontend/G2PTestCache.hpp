#pragma once

#include "QuorlAudio/tts/frontend/G2PModelEnvironment.hpp"

#include "platform/ml/MultiArray.hpp"
#include "tests/support/ScriptedKernel.hpp"
#include "tests/support/TemporaryFolder.hpp"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quorl {

// A scratch synthesis cache and process environment for a grapheme-to-phoneme model under test, and what the
// scripted encoder-decoder pairs of both models have in common.
class G2PTestCache {
public:
    // "<root>/Models/kokoro", where the models look for their files.
    std::filesystem::path modelFolder() const;
    // Reads this cache's root and `variables`, never the process's own.
    G2PModelEnvironment environment() const;

    std::map<std::string, std::string> variables;

private:
    testsupport::TemporaryFolder root_;
};

// The elements of an input the call received, as integers in row-major order.
std::vector<std::int32_t> integersOf(const testsupport::ScriptedKernel::Call& call, const std::string& name);

// The ids as hidden states [1, n, 1], so the decoder can read what the encoder was given.
std::shared_ptr<platform::ml::MultiArray> idsAsHiddenStates(const std::vector<std::int32_t>& ids);

// [1, positions, width] 32-bit scores, zero but for the last position, which holds `lastRow`.
std::shared_ptr<platform::ml::MultiArray> scoresEndingWith(std::size_t positions, const std::vector<float>& lastRow);

// `width` scores, 1 at `id` and 0 elsewhere.
std::vector<float> oneHot(std::size_t width, std::int32_t id);

} // namespace quorl
