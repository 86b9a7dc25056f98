#pragma once

#include <cstddef>

// The number of operator-new calls the process has made so far. The benchmark replaces the global operator
// new to count them, so it can report allocations per decoded frame.
std::size_t allocationCount();
