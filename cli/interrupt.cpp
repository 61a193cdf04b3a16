#include "interrupt.h"

#include <csignal>

namespace cli {
namespace {

std::atomic<bool> requested{false};
std::atomic<int> received{0};

static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<int>::is_always_lock_free,
              "the signal handler may only touch lock-free atomics");

extern "C" void onSignal(int signal)
{
    int none = 0;
    received.compare_exchange_strong(none, signal);
    requested.store(true);
}

} // namespace

void watchForInterrupt()
{
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
}

const std::atomic<bool>& interruptRequested()
{
    return requested;
}

int interruptSignal()
{
    return received.load();
}

const char* signalName(int signal)
{
    switch (signal) {
    case SIGINT:
        return "SIGINT";
    case SIGTERM:
        return "SIGTERM";
    case SIGHUP:
        return "SIGHUP";
    }
    return "a signal";
}

} // namespace cli
