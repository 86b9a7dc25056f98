#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace quorl {

// Where one tensor of a safetensors file lies, and what its header says it holds.
struct SafetensorsTensor {
    // The data-type name as written, such as "F32" or "I64".
    std::string dtype;
    std::vector<std::int64_t> shape;
    // From the start of the file.
    std::int64_t byteOffset = 0;
    std::int64_t byteCount = 0;
};

// The tensors a safetensors file's header lists, by name, each checked to lie inside the file. Messages begin
// with `fileLabel` + ".safetensors: ". Throws PocketTtsConstantsLoader::LoadError.
std::map<std::string, SafetensorsTensor> parseSafetensors(std::string_view bytes, std::string_view fileLabel);

} // namespace quorl
