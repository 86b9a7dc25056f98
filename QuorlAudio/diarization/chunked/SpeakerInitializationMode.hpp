#pragma once

namespace quorl {

// What loading known speakers into a speaker database does: empty it first, or, for an incoming speaker whose
// id is already present, merge the two, replace the present one or keep it.
enum class SpeakerInitializationMode {
    reset,
    merge,
    overwrite,
    skip,
};

} // namespace quorl
