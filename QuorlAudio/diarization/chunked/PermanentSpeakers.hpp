#pragma once

namespace quorl {

// How a speaker database operation treats speakers marked permanent: spared, or handled like any other.
enum class PermanentSpeakers {
    protect,
    treatAlike,
};

} // namespace quorl
