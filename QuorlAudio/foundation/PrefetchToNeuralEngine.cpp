#include "QuorlAudio/foundation/PrefetchToNeuralEngine.hpp"

namespace quorl {

void prefetchToNeuralEngine(const platform::ml::MultiArray& array) {
    if (array.count() == 0) {
        return;
    }
    volatile double touched = array.value(0);
    touched = array.value(array.count() - 1);
    (void)touched;
}

} // namespace quorl
