#pragma once

namespace platform::ml {

// Whether this system runs stateful models. Older systems of the original platform lack them, and the
// toolkit takes another road there; the switch lets both roads run here. On by default.
bool statefulModelsSupported();
void setStatefulModelsSupported(bool supported);

} // namespace platform::ml
