#pragma once

#include <filesystem>
#include <vector>

namespace quorl {

// The PLDA psi vector of "plda-parameters.json": Base64 of packed little-endian 32-bit floats under
// "tensors" / "psi" / "data_base64".
class PldaPsiFile {
public:
    // The file names tried, in order, relative to the models folder.
    static const std::vector<std::filesystem::path>& candidates();

    // The psi values of the first candidate present under `directory`, widened to double; trailing bytes that
    // do not fill a float are ignored. Throws OfflineDiarizationError::processingFailed when no candidate
    // exists, the key path or the Base64 text is wrong, or fewer than 4 bytes decode; the file-read and JSON
    // errors are passed on as they come.
    static std::vector<double> load(const std::filesystem::path& directory);
};

} // namespace quorl
