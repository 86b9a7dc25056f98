#pragma once

#include "platform/ml/FeatureType.hpp"
#include "platform/ml/MultiArray.hpp"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <variant>

namespace platform::ml {

// One named value of a model's input or output. A multi-array value holds the array itself, shared: copying
// the value never copies the elements, so an array passes from one model to the next as the same object.
class FeatureValue {
public:
    using StringDictionary = std::map<std::string, double>;
    using Int64Dictionary = std::map<std::int64_t, double>;

    FeatureValue(std::shared_ptr<MultiArray> multiArray);
    explicit FeatureValue(std::int64_t value);
    explicit FeatureValue(double value);
    explicit FeatureValue(std::string value);
    explicit FeatureValue(StringDictionary dictionary);
    explicit FeatureValue(Int64Dictionary dictionary);

    FeatureType type() const;

    // The value when it is of that kind; null or none otherwise. Returned by value, so reading it from a
    // provider's temporary result (provider.featureValue("x")->multiArrayValue()) is safe.
    std::shared_ptr<MultiArray> multiArrayValue() const;
    std::optional<std::int64_t> int64Value() const;
    std::optional<double> doubleValue() const;
    std::optional<std::string> stringValue() const;
    std::optional<StringDictionary> stringDictionaryValue() const;
    std::optional<Int64Dictionary> int64DictionaryValue() const;

private:
    std::variant<std::shared_ptr<MultiArray>, std::int64_t, double, std::string, StringDictionary, Int64Dictionary>
        value_;
};

} // namespace platform::ml
