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
    received.store(signal);
    requested.store(true);
}

} // namespace

void watchForInterrupt()
{
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = static_cast<int>(SA_RESETHAND); // a second signal: default action
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

const std::atomic<bool>& interruptRequested()
{
    return requested;
}

int interruptSignal()
{
    return received.load();
}

} // namespace cli
