#pragma once

#include "platform/core/RawValue.hpp"
#include "platform/dsp/Half.hpp"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <type_traits>

namespace platform::ml {

// Element type of a multi-array.
enum class DataType { float16, float32, float64, int32 };

// Bytes per element: 2, 4, 8 and 4.
std::size_t elementSize(DataType dataType);

// "float16", "float32", "float64", "int32": the names used in model.json and in messages.
std::string_view rawValue(DataType dataType);

// The element type that stores values of type T.
template <class T> inline constexpr bool isElementType = false;
template <> inline constexpr bool isElementType<dsp::Half> = true;
template <> inline constexpr bool isElementType<float> = true;
template <> inline constexpr bool isElementType<double> = true;
template <> inline constexpr bool isElementType<std::int32_t> = true;

template <class T>
requires isElementType<T>
constexpr DataType dataTypeOf() {
    if constexpr (std::is_same_v<T, dsp::Half>) {
        return DataType::float16;
    } else if constexpr (std::is_same_v<T, float>) {
        return DataType::float32;
    } else if constexpr (std::is_same_v<T, double>) {
        return DataType::float64;
    } else {
        return DataType::int32;
    }
}

} // namespace platform::ml

namespace platform::core {

template <> std::optional<ml::DataType> fromRawValue<ml::DataType>(std::string_view rawValue);

template <> std::span<const ml::DataType> allCases<ml::DataType>();

} // namespace platform::core
