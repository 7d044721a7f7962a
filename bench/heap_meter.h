#pragma once
// Live heap bytes of this program (it replaces the global allocation functions): the peak a piece of work
// reaches above what was live when it began.
#include <cstddef>

namespace heap_meter {
// Starts a measurement: the peak restarts from the bytes live now.
void Reset();
// Highest live bytes since Reset, minus those live at Reset.
size_t PeakAboveStart();
}  // namespace heap_meter
