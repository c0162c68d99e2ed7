#pragma once
// The remote as the rest of the program sees it: start-up, the input thread and the button snapshot
// that the render thread reads once per frame.
#include "wiimote/hid_transport.h"
#include "wiimote/wii_remote.h"
#include "wiimote/wii_report.h"

namespace kelmo {

// Prints the instructions, waits for the user, opens the first remote on hidapi, lights LED 1 and
// starts the input thread. Without a remote nothing is started and every button stays up. Main
// thread, before any other thread uses the remote; a second call while a remote runs does nothing.
void initWiiRemote();
// The same over any transport, waiting with sleep (start-up and the remote's release).
void initWiiRemote(HidTransport& transport, SleepFunction sleep);

// Asks the input thread to copy its newest state after its current read. Never waits.
void requestWiiState();
// The latest copy. Never waits for the remote; all zero when there is none.
WiiButtons getWiiState();
WiiSnapshot getWiiSnapshot();
// True between a start that found a remote and stopWiiRemote.
bool wiiRemoteConnected();

// Ends the input thread (it notices within one read time-out), releases the remote and closes the
// devices. Safe to call without a remote and more than once.
void stopWiiRemote();

}  // namespace kelmo
