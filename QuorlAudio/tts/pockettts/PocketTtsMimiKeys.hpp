#pragma once

#include "platform/core/Error.hpp"
#include "platform/ml/ModelDescription.hpp"

#include <array>
#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace quorl {

// The feature names of the Mimi decoder: its audio output and, for each streaming-state input, the output
// that carries the state's next value. Converters may name the state outputs after their inputs or freely;
// the free ones are matched by shape, in layer order.
struct PocketTtsMimiKeys {
    class DiscoveryError : public platform::core::Error {
    public:
        using platform::core::Error::Error;

        static DiscoveryError unmatchedStateInput(const std::string& name, const std::vector<std::size_t>& shape);
        static DiscoveryError missingAudioOutput();
    };

    struct StatePair {
        std::string input;
        std::string output;

        bool operator==(const StatePair&) const = default;
    };

    // The decoder's streaming states, in the order they are fed and matched.
    static constexpr std::array<std::string_view, 24> canonicalStateOrder{
        "upsample_partial", "attn0_cache",      "attn0_offset",    "attn1_cache",     "attn1_offset",
        "conv0_prev",       "conv0_first",      "convtr0_partial", "res0_conv0_prev", "res0_conv0_first",
        "res0_conv1_prev",  "res0_conv1_first", "convtr1_partial", "res1_conv0_prev", "res1_conv0_first",
        "res1_conv1_prev",  "res1_conv1_first", "convtr2_partial", "res2_conv0_prev", "res2_conv0_first",
        "res2_conv1_prev",  "res2_conv1_first", "conv_final_prev", "conv_final_first"};

    std::string audioOutput{};
    std::vector<StatePair> stateMapping{};
    // The shape of every multi-array input but "latent".
    std::map<std::string, std::vector<std::size_t>> stateShapes{};

    static PocketTtsMimiKeys discover(const platform::ml::ModelDescription& from);
};

} // namespace quorl
