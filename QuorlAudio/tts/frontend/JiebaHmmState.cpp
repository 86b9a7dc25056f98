#include "QuorlAudio/tts/frontend/JiebaHmmState.hpp"

#include <array>
#include <cstddef>

namespace {

constexpr std::array<quorl::JiebaHmmState, 4> states{quorl::JiebaHmmState::begin, quorl::JiebaHmmState::middle,
                                                     quorl::JiebaHmmState::end, quorl::JiebaHmmState::single};

} // namespace

namespace quorl {

std::optional<JiebaHmmState> jiebaHmmStateFromRawValue(int value) {
    if (value < 0 || value >= static_cast<int>(states.size())) {
        return std::nullopt;
    }
    return states[static_cast<std::size_t>(value)];
}

} // namespace quorl

namespace platform::core {

template <> std::span<const quorl::JiebaHmmState> allCases<quorl::JiebaHmmState>() { return states; }

} // namespace platform::core
