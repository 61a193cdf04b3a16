#pragma once

#include <atomic>

// SIGINT (Ctrl+C), SIGTERM (a batch system's stop) and SIGHUP (a closed terminal) ask a run to
// stop: the samples in hand are finished and everything is written. Further signals change
// nothing, so that a second Ctrl+C while the result is written loses no sample and leaves no
// temporary; SIGKILL remains for a plain kill, and resume goes on from the last checkpoint.
namespace cli {

void watchForInterrupt();
const std::atomic<bool>& interruptRequested();
int interruptSignal(); // the first signal received, 0 if none
const char* signalName(int signal);

} // namespace cli
