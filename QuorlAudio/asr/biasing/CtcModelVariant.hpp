#pragma once

#include "QuorlAudio/models/repo/Repo.hpp"
#include "platform/core/RawValue.hpp"

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace quorl {

// The two Parakeet CTC model sets that context biasing can spot terms with, each a hub repository of its own.
enum class CtcModelVariant { ctc110m, ctc06b };

// "ctc110m", "ctc06b".
std::string rawValue(CtcModelVariant variant);
// "Parakeet CTC 110M (hybrid)", "Parakeet CTC 0.6B (pure)".
std::string displayName(CtcModelVariant variant);
// Repo::parakeetCtc110m, Repo::parakeetCtc06b.
Repo repo(CtcModelVariant variant);

} // namespace quorl

namespace platform::core {

// Exact, case-sensitive match of the raw value.
template <> std::optional<quorl::CtcModelVariant> fromRawValue<quorl::CtcModelVariant>(std::string_view rawValue);

// ctc110m, then ctc06b.
template <> std::span<const quorl::CtcModelVariant> allCases<quorl::CtcModelVariant>();

} // namespace platform::core
