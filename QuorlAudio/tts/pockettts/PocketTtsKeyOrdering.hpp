#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace quorl::PocketTtsKeyOrdering {

// The number a converted model's feature name ends with, or the layer a cache output belongs to.
using NumericKey = std::function<std::optional<std::int64_t>(const std::string&)>;

// The names ordered by their numeric key, ascending; a name without a key sorts after every keyed one, and
// equal keys fall back to plain text order. Converters number layers, so "pos9" comes before "pos10".
std::vector<std::string> sortedByNumericKey(std::vector<std::string> names, const NumericKey& key);

// The run of Unicode number characters the name ends with, read as a decimal integer; absent when the name
// does not end with a number or the run is not plain decimal within 64 bits.
std::optional<std::int64_t> trailingNumber(const std::string& name);

} // namespace quorl::PocketTtsKeyOrdering
