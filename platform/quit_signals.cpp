#include "platform/quit_signals.h"

#include <signal.h>

namespace kelmo {
namespace {

volatile sig_atomic_t received = 0;

void onQuitSignal(int) { received = 1; }

}  // namespace

void installQuitSignalHandlers() {
    struct sigaction action = {};
    action.sa_handler = onQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool quitSignalReceived() { return received != 0; }

}  // namespace kelmo
