#pragma once

namespace quorl {

// The synthesiser families a caller can choose from.
enum class TtsBackend { pocketTts, kokoroAne, styletts2, supertonic3 };

} // namespace quorl
