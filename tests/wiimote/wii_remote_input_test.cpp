#include "wiimote/wii_remote_input.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "simulated_remote.h"

namespace kelmo {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr char kInstructions[] =
    "Wiiリモコンの１と２ボタンを押してください。\n"
    "（Microsoftのbluetoothスタックでないとうまく接続出来ないカモ）\n"
    "つながらない時は、システム側で接続してから再起動。\n";

template <typename T>
bool same(const T& a, const T& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

class WiiRemoteInput : public ::testing::Test {
protected:
    void TearDown() override { stopWiiRemote(); }

    // Starts on the simulated devices, recording the pauses instead of taking them.
    std::string start() {
        testing::internal::CaptureStdout();
        initWiiRemote(transport, [this](uint32_t ms) { sleeps.push_back(ms); });
        return testing::internal::GetCapturedStdout();
    }

    std::string stop() {
        testing::internal::CaptureStdout();
        stopWiiRemote();
        return testing::internal::GetCapturedStdout();
    }

    // Asks once a frame, as the render thread does, until the snapshot shows `wanted`; the deadline is
    // far beyond what a slow machine under ThreadSanitizer needs.
    bool requestUntil(const WiiButtons& wanted) {
        for (const auto deadline = Clock::now() + milliseconds(10000); Clock::now() < deadline;) {
            requestWiiState();
            if (same(getWiiState(), wanted)) return true;
            std::this_thread::sleep_for(milliseconds(16));
        }
        return false;
    }

    SimulatedTransport transport;
    std::vector<uint32_t> sleeps;
};

TEST_F(WiiRemoteInput, WithoutARemoteNothingStartsAndEveryButtonIsUp) {
    transport.add(0x046D, 0xC52B);
    EXPECT_EQ(start(), kInstructions);
    EXPECT_EQ(sleeps, std::vector<uint32_t>{2000});
    EXPECT_FALSE(wiiRemoteConnected());
    requestWiiState();
    EXPECT_TRUE(same(getWiiState(), WiiButtons{}));
    EXPECT_EQ(stop(), "");
}

// Without the udev rule the remote is listed but its node cannot be opened: one line says where to look.
TEST_F(WiiRemoteInput, ARemoteThatCannotBeOpenedIsNamedWithItsNode) {
    transport.add(0x046D, 0xC52B);
    transport.add()->refusesOpen = true;
    EXPECT_EQ(start(),
              std::string(kInstructions) +
                  "Wii Remote /dev/hidraw1 cannot be opened: allow your user to open it with the udev "
                  "rule (README.md, \"Letting your user open the remote: the udev rule\")\n");
    EXPECT_FALSE(wiiRemoteConnected());
}

TEST_F(WiiRemoteInput, ButtonsReachTheSnapshotAndStayThroughSilenceUntilStop) {
    std::shared_ptr<SimulatedRemote> remote = transport.add();
    std::shared_ptr<SimulatedRemote> other = transport.add(kNintendoVendorId, kWiiRemotePlusProductId);
    EXPECT_EQ(start(), kInstructions);
    EXPECT_EQ(sleeps, (std::vector<uint32_t>{2000, 1000, 1000}));
    EXPECT_EQ(remote->ledBits(), 0x10);
    EXPECT_EQ(other->openDevices, 0);  // only the first remote is used

    WiiButtons held{};
    held.right = 0x02;
    held.b = 0x04;
    remote->send({0x30, 0x02, 0x04});
    ASSERT_TRUE(requestUntil(held));

    // Longer than one read time-out of the input thread.
    for (const auto until = Clock::now() + milliseconds(700); Clock::now() < until;) {
        requestWiiState();
        ASSERT_TRUE(same(getWiiState(), held));
        std::this_thread::sleep_for(milliseconds(16));
    }
    remote->send({0x30, 0x00, 0x00});
    EXPECT_TRUE(requestUntil(WiiButtons{}));

    const auto before = Clock::now();
    EXPECT_EQ(stop(), "wiiThread end\n");
    EXPECT_LT(Clock::now() - before, milliseconds(3000)) << "one read time-out is 500 ms";
    const Report released = remote->written().back();
    EXPECT_EQ(Report(released.begin(), released.begin() + 3), (Report{0x12, 0x04, 0x30}));
    EXPECT_EQ(sleeps.back(), 200u);
    EXPECT_EQ(remote->openDevices, 0);
    EXPECT_EQ(stop(), "");
}

// The input thread copies while the render thread reads: every snapshot comes whole from one report.
TEST_F(WiiRemoteInput, SnapshotsAreNeverTorn) {
    std::shared_ptr<SimulatedRemote> remote = transport.add();
    start();
    const Report a = {0x33, 0x08, 0, 0x90, 0x90, 0x90, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
    const Report b = {0x33, 0x04, 4, 0x70, 0x70, 0x70, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2};
    remote->setStream({a, b});
    auto decoded = [](const Report& report) {
        WiiSnapshot snapshot{};
        wii_report::decodeButtons(report.data(), report.size(), snapshot.buttons);
        wii_report::decodeAcceleration(report.data(), report.size(), snapshot.acceleration);
        wii_report::decodeIrDots(report.data(), report.size(), snapshot.irDots);
        return snapshot;
    };
    const WiiSnapshot fromA = decoded(a), fromB = decoded(b), empty{};
    int filled = 0;
    for (const auto until = Clock::now() + milliseconds(400); Clock::now() < until;) {
        requestWiiState();
        const WiiSnapshot seen = getWiiSnapshot();
        ASSERT_TRUE(same(seen, fromA) || same(seen, fromB) || same(seen, empty));
        filled += !same(seen, empty);
    }
    EXPECT_GT(filled, 0);
}

}  // namespace
}  // namespace kelmo
