#pragma once

namespace quorl {

// A chunk handler's answer: go on delivering chunks, or deliver no more during this call.
enum class SegmentationChunkContinuation {
    // The other languages' `continue`, a keyword here.
    proceed,
    stop,
};

} // namespace quorl
