#pragma once
// The spine of the program: start-up order, the per-frame loop and the orderly shutdown.

namespace kelmo {

// Prints which features are built in; the first lines on the console.
void printFeatureReport();
// Builds everything. False after printing why when the program cannot run.
bool startUp();
// The window's display and idle callback: one camera frame per call.
void mainLoopStep();
// The remote's buttons, then a quit (shutdown, pause, exit 0), then the character controller.
void updateCharacter();
// Draws one frame; called only when a marker pose exists.
void displayFrame();
// Releases everything in a fixed order. Runs once; later calls do nothing.
void shutdown();
// After a failed startUp: stops the worker threads and releases what was built, without the
// frame-rate report of a session that never ran.
void abandonStartUp();

// Closing the window, like Ctrl+C and SIGTERM, ends the program through shutdown, status 0.
void onWindowClosed();
// shutdown, a short pause for the workers' last words, then exit(0).
[[noreturn]] void quitProgram();

}  // namespace kelmo
