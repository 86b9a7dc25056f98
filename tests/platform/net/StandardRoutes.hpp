#pragma once

#include "LoopbackServer.hpp"

namespace nettest {

// Routes several tests share:
//   /chunks   a chunked body "chunk0;" to "chunk4;", sent piece by piece
//   /drop     announces 1000 bytes, sends 100, then closes the connection
//   /stall    announces 1000 bytes, sends 100, then stalls until released
//   /held     answers "held" once released
void addStandardRoutes(LoopbackServer& server);

} // namespace nettest
