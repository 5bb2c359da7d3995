#include "cli/Interruption.h"

#include <atomic>
#include <csignal>

namespace {

std::atomic<bool> interruptedFlag{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void onInterrupt(int signal) {
    interruptedFlag.store(true);
    // A second Ctrl+C ends the process at once.
    std::signal(signal, SIG_DFL);
}

} // namespace

void catchInterruptions() {
    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);
}

bool interrupted() {
    return interruptedFlag.load();
}
