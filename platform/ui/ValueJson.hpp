#pragma once

#include "platform/ui/Value.hpp"

#include <nlohmann/json.hpp>

namespace platform::ui {

// The JSON spelling of channel values on the socket bridge. Null, Booleans, integers, floats, strings, lists
// and maps are their JSON selves; integers stay integers and floats are always written with a decimal point
// or an exponent, so each reads back as what it was. Non-finite floats, which JSON cannot spell, become null.
// Typed bytes are {"$bytes": "<base64>"} and float32 lists {"$float32": [...]}. A map whose only key is one
// of these tags (or "$map") is wrapped as {"$map": {...}} so that it reads back as a map.
nlohmann::json toJson(const Value& value);

// The value a JSON document spells; throws ValueJsonError when a tagged object is malformed or an integer
// does not fit in 64 signed bits.
Value valueFromJson(const nlohmann::json& json);

} // namespace platform::ui
