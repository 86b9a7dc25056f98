#pragma once

#include <vector>

namespace quorl {

// Settings of the greedy token-and-duration transducer decoder. A default-made value is the default preset.
struct TdtConfig {
    // Carried with the configuration; the decoder records token durations regardless.
    bool includeTokenDuration = true;
    // Tokens emitted at one encoder frame before time is forced forward.
    int maxSymbolsPerStep = 10;
    // Encoder frames to advance for each duration class of the joint model.
    std::vector<int> durationBins{0, 1, 2, 3, 4};
    // Blank token of the v3 vocabulary; other model versions use their own.
    int blankId = 8192;
    // Carried with the configuration; the decoder does not consult it.
    int boundarySearchFrames = 20;
    // Non-blank tokens the main loop produces for one window.
    int maxTokensPerChunk = 150;
    // Blanks in a row that end the final pass over a last window.
    int consecutiveBlankLimit = 5;

    static const TdtConfig& defaultConfig();

    bool operator==(const TdtConfig&) const = default;
};

} // namespace quorl
