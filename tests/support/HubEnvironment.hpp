#pragma once

#include "tests/support/LoopbackHub.hpp"
#include "tests/support/ScopedEnvironment.hpp"

namespace testsupport {

// Points the toolkit, of this process or of a child started while `environment` lives, at `hub`, with no token
// and no proxy in between. The proxy variables count only while the toolkit's hub session is not made yet.
void useLoopbackHub(ScopedEnvironment& environment, const LoopbackHub& hub);

} // namespace testsupport
