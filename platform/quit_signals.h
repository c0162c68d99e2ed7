#pragma once
// Ctrl+C and SIGTERM become a request that the frame loop answers with an orderly shutdown.

namespace kelmo {

// A second signal while the first is still unanswered ends the process at once.
void installQuitSignalHandlers();
bool quitSignalReceived();

}  // namespace kelmo
