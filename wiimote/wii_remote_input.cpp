#include "wiimote/wii_remote_input.h"

#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/clock.h"
#include "platform/manual_reset_event.h"
#include "wiimote/hid_device_list.h"
#include "wiimote/hidapi_transport.h"

namespace kelmo {
namespace {

constexpr uint32_t kInstructionPauseMs = 2000;
constexpr uint32_t kLedPauseMs = 1000;
// Also the longest the input thread takes to notice a stop.
constexpr uint32_t kPollTimeoutMs = 500;

// The input thread writes `snapshot` and the render thread reads it, both under `mutex`; the copy is
// a few dozen bytes, so the render thread never waits for more than that copy.
struct WiiSharedState {
    std::mutex mutex;
    WiiSnapshot snapshot{};
};

// Destroyed in reverse order at exit: the thread is stopped before the devices it uses are closed.
HidDeviceList hidDevices;
ManualResetEvent requestEvent(true);
WiiSharedState shared;
std::atomic<bool> wiiRunning{false};
std::unique_ptr<WiiRemote> wiiRemote;  // the input thread's alone while it runs
std::thread wiiThread;                 // started and joined by the main thread

// A program that leaves without the orderly shutdown (a failed start-up) must not die on a running
// thread's destructor.
struct StopAtExit {
    ~StopAtExit() { stopWiiRemote(); }
} stopAtExit;

void wiiThreadProc(WiiRemote* remote) {
    if (remote) {
        while (wiiRunning.load()) {
            remote->pollReport(kPollTimeoutMs);
            if (!requestEvent.wait(0)) continue;
            requestEvent.reset();
            const WiiSnapshot latest = remote->snapshot();
            std::lock_guard<std::mutex> lock(shared.mutex);
            shared.snapshot = latest;
        }
    }
    std::printf("wiiThread end\n");
    std::fflush(stdout);
}

// Without the udev rule a paired remote is listed but its node belongs to root: say so once, rather
// than run on as if there were no remote.
void printUnopenedRemotes(const std::vector<std::string>& paths) {
    if (paths.empty()) return;
    std::string nodes;
    for (const std::string& path : paths) nodes += (nodes.empty() ? "" : ", ") + path;
    std::printf(
        "Wii Remote %s cannot be opened: allow your user to open it with the udev rule (README.md, "
        "\"Letting your user open the remote: the udev rule\")\n",
        nodes.c_str());
    std::fflush(stdout);
}

}  // namespace

void initWiiRemote() {
    static HidapiTransport hidapi;
    initWiiRemote(hidapi, sleepMilliseconds);
}

void initWiiRemote(HidTransport& transport, SleepFunction sleep) {
    if (wiiRemote || wiiThread.joinable()) return;
    if (!sleep) sleep = sleepMilliseconds;
    {
        std::lock_guard<std::mutex> lock(shared.mutex);
        shared.snapshot = WiiSnapshot{};
    }
    requestEvent.set();
    wiiRunning.store(true);

    std::printf("Wiiリモコンの１と２ボタンを押してください。\n");
    std::printf("（Microsoftのbluetoothスタックでないとうまく接続出来ないカモ）\n");
    std::printf("つながらない時は、システム側で接続してから再起動。\n");
    std::fflush(stdout);
    sleep(kInstructionPauseMs);

    // Pairing is the desktop's business (bluetoothctl); a paired remote is simply one of the HID devices.
    const int listed = hidDevices.enumerate(transport);
    if (listed == 0) {
        printUnopenedRemotes(hidDevices.unopened());
        return;
    }
    std::unique_ptr<WiiRemote> remote = hidDevices.openRemote(0, sleep);
    for (int i = 1; i < listed; ++i) hidDevices.closeDevice(i);
    if (!remote) return;

    sleep(kLedPauseMs);
    remote->setLed(0, true);
    sleep(kLedPauseMs);
    wiiRemote = std::move(remote);
    wiiThread = std::thread(wiiThreadProc, wiiRemote.get());
}

void requestWiiState() {
    if (!wiiThread.joinable()) return;
    requestEvent.set();
}

WiiButtons getWiiState() {
    std::lock_guard<std::mutex> lock(shared.mutex);
    return shared.snapshot.buttons;
}

WiiSnapshot getWiiSnapshot() {
    std::lock_guard<std::mutex> lock(shared.mutex);
    return shared.snapshot;
}

bool wiiRemoteConnected() { return wiiThread.joinable(); }

void stopWiiRemote() {
    wiiRunning.store(false);
    if (wiiThread.joinable()) wiiThread.join();
    wiiRemote.reset();
    hidDevices.closeAll();
}

}  // namespace kelmo
