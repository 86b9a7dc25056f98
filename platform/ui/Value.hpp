#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <variant>
#include <vector>

namespace platform::ui {

class Value;
using ValueList = std::vector<Value>;
using ValueMap = std::map<std::string, Value>;

// Typed byte data, kept apart from lists of integers so that it travels as one block.
struct Bytes {
    std::vector<std::uint8_t> data;
    bool operator==(const Bytes&) const = default;
};

// A value exchanged with the interface layer: null, a Boolean, a 64-bit integer, a 64-bit float, a string,
// typed bytes, a list of 32-bit floats, a list of values or a map from strings to values.
class Value {
public:
    using Storage = std::variant<std::monostate, bool, std::int64_t, double, std::string, Bytes, std::vector<float>,
                                 ValueList, ValueMap>;

    Value() = default;
    Value(std::nullptr_t) {}
    Value(bool value) : storage_(value) {}
    Value(int value) : storage_(static_cast<std::int64_t>(value)) {}
    Value(std::int64_t value) : storage_(value) {}
    Value(double value) : storage_(value) {}
    Value(const char* value) : storage_(std::string(value)) {}
    Value(std::string value) : storage_(std::move(value)) {}
    Value(Bytes value) : storage_(std::move(value)) {}
    Value(std::vector<float> value) : storage_(std::move(value)) {}
    Value(ValueList value) : storage_(std::move(value)) {}
    Value(ValueMap value) : storage_(std::move(value)) {}

    bool isNull() const { return std::holds_alternative<std::monostate>(storage_); }

    // The value as T, or null when it holds another kind. No conversion between kinds.
    template <typename T> const T* get() const { return std::get_if<T>(&storage_); }

    const Storage& storage() const { return storage_; }

    bool operator==(const Value& other) const { return storage_ == other.storage_; }

private:
    Storage storage_;
};

} // namespace platform::ui
