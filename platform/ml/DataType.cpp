#include "platform/ml/DataType.hpp"

#include <array>

namespace platform::ml {

namespace {

constexpr std::array cases{DataType::float16, DataType::float32, DataType::float64, DataType::int32};

} // namespace

std::size_t elementSize(DataType dataType) {
    switch (dataType) {
    case DataType::float16: return 2;
    case DataType::float64: return 8;
    case DataType::float32:
    case DataType::int32: return 4;
    }
    return 4;
}

std::string_view rawValue(DataType dataType) {
    switch (dataType) {
    case DataType::float16: return "float16";
    case DataType::float32: return "float32";
    case DataType::float64: return "float64";
    case DataType::int32: return "int32";
    }
    return "unknown";
}

} // namespace platform::ml

namespace platform::core {

template <> std::optional<ml::DataType> fromRawValue<ml::DataType>(std::string_view rawValue) {
    for (auto dataType : ml::cases) {
        if (ml::rawValue(dataType) == rawValue) {
            return dataType;
        }
    }
    return std::nullopt;
}

template <> std::span<const ml::DataType> allCases<ml::DataType>() { return ml::cases; }

} // namespace platform::core
