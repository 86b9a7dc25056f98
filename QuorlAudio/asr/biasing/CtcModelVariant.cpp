#include "QuorlAudio/asr/biasing/CtcModelVariant.hpp"

#include <array>

namespace quorl {
namespace {

constexpr std::array<CtcModelVariant, 2> variants{CtcModelVariant::ctc110m, CtcModelVariant::ctc06b};

} // namespace

std::string rawValue(CtcModelVariant variant) { return variant == CtcModelVariant::ctc110m ? "ctc110m" : "ctc06b"; }

std::string displayName(CtcModelVariant variant) {
    return variant == CtcModelVariant::ctc110m ? "Parakeet CTC 110M (hybrid)" : "Parakeet CTC 0.6B (pure)";
}

Repo repo(CtcModelVariant variant) {
    return variant == CtcModelVariant::ctc110m ? Repo::parakeetCtc110m : Repo::parakeetCtc06b;
}

} // namespace quorl

namespace platform::core {

template <> std::optional<quorl::CtcModelVariant> fromRawValue<quorl::CtcModelVariant>(std::string_view rawValue) {
    for (const auto variant : quorl::variants) {
        if (quorl::rawValue(variant) == rawValue) {
            return variant;
        }
    }
    return std::nullopt;
}

template <> std::span<const quorl::CtcModelVariant> allCases<quorl::CtcModelVariant>() { return quorl::variants; }

} // namespace platform::core
