#pragma once
// The memory budget of one evaluation: how many bytes a modifier may allocate for its output before it
// must give up in the orderly way instead of exhausting the machine.
#include <cstdint>

#include "maxtypes.h"

// The budget in force: the one set with SetEvalMemoryBudget, else the default.
HOSTAPI uint64_t GetEvalMemoryBudget();
// Sets the budget in bytes; 0 restores the default. Returns the previous setting (0 when it was the
// default).
HOSTAPI uint64_t SetEvalMemoryBudget(uint64_t bytes);
// The default: a quarter of the physical memory, or of the address-space limit when that is lower.
HOSTAPI uint64_t DefaultEvalMemoryBudget();
