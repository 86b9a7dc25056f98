#pragma once

#include "platform/ui/MethodResult.hpp"
#include "platform/ui/Value.hpp"

#include <optional>
#include <string>
#include <vector>

namespace mirvo {

// A method call's arguments read as a map from string keys to values. Arguments that are absent or not a
// map read as an empty map, so every required key is then missing. A key holding a value of another type
// reads as absent.
class MethodArguments {
public:
    static constexpr const char* badArgumentsCode = "bad_args";

    enum class Emptiness { allowed, refused };

    explicit MethodArguments(const platform::ui::Value& arguments);

    // The value under `key` when it holds a T; null otherwise.
    template <typename T> const T* value(const std::string& key) const {
        const auto entry = map_.find(key);
        return entry == map_.end() ? nullptr : entry->second.get<T>();
    }

    std::optional<std::string> string(const std::string& key) const;

    // The list of strings under `key`; empty when absent or when it is not a list of strings only.
    std::vector<std::string> stringList(const std::string& key) const;

    // The string under `key`. When it is missing, not a string, or empty while emptiness is refused, the
    // call is answered with the error "bad_args" and `message`, and the result is nothing.
    std::optional<std::string> requiredString(const std::string& key, const std::string& message,
                                              const platform::ui::MethodResult& result,
                                              Emptiness emptiness = Emptiness::refused) const;

private:
    platform::ui::ValueMap map_;
};

} // namespace mirvo
