#pragma once

#include <atomic>

// Ctrl+C and SIGTERM ask a run to stop: the samples in hand are finished and written out. A
// second signal ends the program at once, as the user then plainly wants.
namespace cli {

void watchForInterrupt();
const std::atomic<bool>& interruptRequested();
int interruptSignal(); // the signal received, 0 if none

} // namespace cli
