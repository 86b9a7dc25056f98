#pragma once

#include <cstddef>
#include <vector>

namespace testsupport {

// The signal the log-mel reference fixtures are computed from (test_signal in
// tests/QuorlAudio/foundation/fixtures/makeLogMelFixture.py): 0.1 s at 16 kHz of a chirp from 100 Hz to
// 7900 Hz, a faint saw-tooth and three spikes.
std::vector<float> logMelTestSignal();

} // namespace testsupport
