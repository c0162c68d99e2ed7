#include "wiimote/wii_remote.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <vector>

#include "simulated_remote.h"
#include "wiimote/hid_device_list.h"

namespace kelmo {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using Answers = SimulatedRemote::Answers;

Report padded(Report report) {
    report.resize(kWiiReportLength, 0);
    return report;
}

// A remote probed on a simulated device that answers as told.
struct Probed {
    explicit Probed(Answers answers, uint8_t ledBits = 0) : device(simulator) {
        simulator->setAnswers(answers, ledBits);
        remote = std::make_unique<WiiRemote>(&device, HidReportLengths{}, [](uint32_t) {});
    }
    std::shared_ptr<SimulatedRemote> simulator = std::make_shared<SimulatedRemote>();
    SimulatedDevice device;
    std::unique_ptr<WiiRemote> remote;
};

TEST(WiiRemoteProbe, KeepsThePathTheRemoteAnswersOnAndItsLeds) {
    Probed first(Answers::BothPaths, 0x30);
    EXPECT_TRUE(first.remote->padOutputReports());
    EXPECT_TRUE(first.remote->led(0) && first.remote->led(1) && !first.remote->led(2) &&
                !first.remote->led(3));
    EXPECT_EQ(first.simulator->written(), std::vector<Report>{padded({0x15, 0x00})});

    Probed second(Answers::OwnLengthOnly, 0x80);
    EXPECT_FALSE(second.remote->padOutputReports());
    EXPECT_TRUE(second.remote->led(3));
    EXPECT_EQ(second.simulator->written(), (std::vector<Report>{padded({0x15, 0x00}), {0x15, 0x00}}));
    EXPECT_EQ(second.remote->setLed(0, true), 2u);  // later reports go out at their own length
    EXPECT_EQ(second.simulator->written().back(), (Report{0x11, 0x90}));

    Probed none(Answers::Never, 0xF0);
    EXPECT_TRUE(none.remote->padOutputReports());
    EXPECT_FALSE(none.remote->led(0) || none.remote->led(1) || none.remote->led(2) || none.remote->led(3));
    EXPECT_EQ(none.simulator->writtenWithId(0x15), 2u);
}

TEST(WiiRemoteProbe, ThirtyForeignReportsAreSkippedOverBothAttemptsTogether) {
    Probed r(Answers::BothPaths);
    r.simulator->setAnswers(Answers::BothPaths, 0x20, 30);
    EXPECT_EQ(r.remote->probeStatus(), 7u);
    EXPECT_TRUE(r.remote->led(1));

    // Only foreign reports: the 31st fails the first attempt, and as the count goes on, the second
    // attempt gives up at its first one.
    r.simulator->setAnswers(Answers::Never);
    r.simulator->setStream({{0x30, 0x00, 0x00}, {0x3D, 0x00, 0x00}});
    const int readBefore = r.simulator->reportsRead();
    EXPECT_EQ(r.remote->probeStatus(), 0u);
    EXPECT_EQ(r.simulator->reportsRead() - readBefore, 32);
    EXPECT_TRUE(r.remote->padOutputReports());
}

TEST(WiiRemote, SetLedSendsTheFlagsAndRefusesOtherIndices) {
    Probed r(Answers::BothPaths);
    EXPECT_EQ(r.remote->setLed(5, true), 0u);
    EXPECT_EQ(r.remote->setLed(-1, true), 0u);
    EXPECT_EQ(r.simulator->written().size(), 1u);
    EXPECT_EQ(r.remote->setLed(2, true), kWiiReportLength);
    r.remote->setLed(4, true);
    EXPECT_EQ(r.simulator->written().back(), padded({0x11, 0x41}));
    r.remote->probeStatus();  // the status request turns rumble off, and the flag follows
    EXPECT_FALSE(r.remote->rumble());
}

TEST(WiiRemote, PollKeepsTheStateThroughSilenceAndAVanishedDeviceWithoutSpinning) {
    Probed r(Answers::BothPaths);
    r.simulator->send({0x30, 0x08, 0x80});
    r.simulator->send({0x20, 0x00, 0x00, 0x10, 0x00, 0x00, 0x80});
    ASSERT_TRUE(r.remote->pollReport(1000));
    ASSERT_TRUE(r.remote->pollReport(1000));
    EXPECT_EQ(r.remote->buttons().up, 0x08);
    EXPECT_EQ(r.remote->buttons().home, 0x80);

    for (bool gone : {false, true}) {
        r.simulator->setGone(gone);
        const auto start = Clock::now();
        EXPECT_FALSE(r.remote->pollReport(100));
        EXPECT_GE(Clock::now() - start, milliseconds(95)) << gone;
        EXPECT_EQ(r.remote->buttons().home, 0x80) << gone;
    }
}

TEST(HidDeviceList, OpensBothModelsUpToFourAndNothingElse) {
    SimulatedTransport transport;
    transport.add(0x046D, 0xC52B);
    transport.add(kNintendoVendorId, 0x0337);
    std::vector<std::shared_ptr<SimulatedRemote>> remotes = {
        transport.add(kNintendoVendorId, kWiiRemotePlusProductId)};
    for (int i = 0; i < 4; ++i) remotes.push_back(transport.add());
    HidDeviceList list;
    EXPECT_EQ(list.enumerate(transport), 4);
    EXPECT_EQ(remotes[0]->openDevices, 1);
    EXPECT_EQ(remotes[4]->openDevices, 0);  // beyond the list, never opened
    EXPECT_EQ(list.openRemote(4), nullptr);
    list.closeDevice(3);
    EXPECT_EQ(remotes[3]->openDevices, 0);
    EXPECT_EQ(list.openRemote(3), nullptr);
}

}  // namespace
}  // namespace kelmo
