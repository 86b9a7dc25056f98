#include "platform/ml/FeatureValue.hpp"

#include <utility>

namespace platform::ml {

FeatureValue::FeatureValue(std::shared_ptr<MultiArray> multiArray) : value_(std::move(multiArray)) {}
FeatureValue::FeatureValue(std::int64_t value) : value_(value) {}
FeatureValue::FeatureValue(double value) : value_(value) {}
FeatureValue::FeatureValue(std::string value) : value_(std::move(value)) {}
FeatureValue::FeatureValue(StringDictionary dictionary) : value_(std::move(dictionary)) {}
FeatureValue::FeatureValue(Int64Dictionary dictionary) : value_(std::move(dictionary)) {}

FeatureType FeatureValue::type() const {
    switch (value_.index()) {
    case 0: return FeatureType::multiArray;
    case 1: return FeatureType::int64;
    case 2: return FeatureType::real;
    case 3: return FeatureType::string;
    default: return FeatureType::dictionary;
    }
}

namespace {

template <class T, class Variant> std::optional<T> alternative(const Variant& value) {
    const auto* found = std::get_if<T>(&value);
    return found != nullptr ? std::optional<T>(*found) : std::nullopt;
}

} // namespace

std::shared_ptr<MultiArray> FeatureValue::multiArrayValue() const {
    return alternative<std::shared_ptr<MultiArray>>(value_).value_or(nullptr);
}

std::optional<std::int64_t> FeatureValue::int64Value() const { return alternative<std::int64_t>(value_); }

std::optional<double> FeatureValue::doubleValue() const { return alternative<double>(value_); }

std::optional<std::string> FeatureValue::stringValue() const { return alternative<std::string>(value_); }

std::optional<FeatureValue::StringDictionary> FeatureValue::stringDictionaryValue() const {
    return alternative<StringDictionary>(value_);
}

std::optional<FeatureValue::Int64Dictionary> FeatureValue::int64DictionaryValue() const {
    return alternative<Int64Dictionary>(value_);
}

} // namespace platform::ml
