#include "QuorlAudio/diarization/streaming/config/SortformerModelPrecision.hpp"

#include <array>

namespace quorl {
namespace {

constexpr std::array precisions{SortformerModelPrecision::fp16, SortformerModelPrecision::palettized};

} // namespace

std::string_view rawValue(SortformerModelPrecision precision) {
    switch (precision) {
    case SortformerModelPrecision::fp16: return "fp16";
    case SortformerModelPrecision::palettized: return "palettized";
    }
    return "";
}

} // namespace quorl

namespace platform::core {

template <>
std::optional<quorl::SortformerModelPrecision>
fromRawValue<quorl::SortformerModelPrecision>(std::string_view rawValue) {
    for (const auto precision : quorl::precisions) {
        if (quorl::rawValue(precision) == rawValue) {
            return precision;
        }
    }
    return std::nullopt;
}

template <> std::span<const quorl::SortformerModelPrecision> allCases<quorl::SortformerModelPrecision>() {
    return quorl::precisions;
}

} // namespace platform::core
